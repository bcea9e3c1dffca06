/* Control library of the DKV5128 front end: eight amplifier/filter modules on one
 * serial line, addressed 0..99 (the analyzer uses 1..8).
 *
 * Every function takes the handle made by DKV5120LibCreate and accepts a null
 * handle, doing nothing and returning 0. Calls on one handle must come from one
 * thread at a time; the library runs one reader thread per open link. */
#ifndef DKV5120LIB_H
#define DKV5120LIB_H

#if defined(DKV5120LIB_BUILDING)
#define DKV5120LIB_API __attribute__((visibility("default")))
#else
#define DKV5120LIB_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct DeviceLink;

/* Closes the link and frees the handle. */
DKV5120LIB_API void DKV5120LibClose(struct DeviceLink* link);

/* Opens port index (0 = COM1) at 4800 baud 8N1. The device of COMn is the path in
 * the environment variable DKV5120_COM<n>, else /dev/ttyS<n-1>. Null when the port
 * is missing, in use or not a terminal. */
DKV5120LIB_API struct DeviceLink* DKV5120LibCreate(int portIndex);

/* remote != 0: echo on, keyboard off, then reads the module's status; returns 9
 * when bit 3 of the status is set, else 1, and -1 when the module does not answer.
 * remote == 0: echo off, keyboard on; returns 1. */
DKV5120LIB_API int DKV5120LibInit(struct DeviceLink* link, int address, int remote);

/* Results of the three setters: 2 the module echoed the command; 1 a wrong echo;
 * -1 no echo within 200 ms; 0 not sent. A negative value sends the bare word. */
DKV5120LIB_API int DKV5120LibSetGain(struct DeviceLink* link, int address, int gain100);
DKV5120LIB_API int DKV5120LibSetHPF(struct DeviceLink* link, int address, int code);
DKV5120LIB_API int DKV5120LibSetLPF(struct DeviceLink* link, int address, int code);

#ifdef __cplusplus
}
#endif

#endif /* DKV5120LIB_H */
