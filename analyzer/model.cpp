// Storage of the measurement model.
#include "analyzer/model.h"

CusRecord cus;
SpRecord sp;
RcuRecord rcu;
SrRecord sr;
HsRecord hs;
WsRecord ws;
DbufRecord dbuf;
FsRecord fs;

int start = 0;
int ok = 0;
int gen_start = 0;
int marc_trig = 0;
int marc_g = 0;
int input = 0;
int output = 0;
int count = 0;
int circlen = 0;
double simphase = 0.0;
double tim = 0.0;
double pu = 0.0;

std::vector<int> half;
std::vector<int> res;
std::vector<int> wave;
std::vector<int> tmp;
std::vector<int> circbuff;
int* adapt = nullptr;

double inpf_ChA[kMaxFrame], inpf_ChB[kMaxFrame];
double out_A[kMaxFrame], out_B[kMaxFrame];
double outf_ChA[kStreamLen], outf_ChB[kStreamLen];
double ca[kMaxFrame], cb[kMaxFrame];
double Rx[kFrame2], Ix[kFrame2];
double Ry[kFrame2], Iy[kFrame2];
double cha[kMaxFrame], chb[kMaxFrame];
double Gxx[kMaxFrame], Gyy[kMaxFrame];
double Rxy[kMaxFrame], Ixy[kMaxFrame];
double resX[kResultLen], resY[kResultLen];
double rt[kResultLen], it[kResultLen];
double weightcoef[kFrame2];
double x_band[kMaxLines];
double time_ch[kFrame2];
double x_time[kFrame2];
double part[kFrame2];
int bu[kFrame2];
int arry[9];
IIRFilterPtr iir_ch[2];

char itemcollect[2][kItemText];
char itemweight[10][kItemText];
char itemtrigger[6][kItemText];
char itemfunc[28][kItemText];
int nfunc[28];
char itemcursors[6][kItemText];
char extenitem[6][kItemText];
char runsetup[5][kItemText];
char weightsetup[10][kItemText];
char rankitem[4][kItemText];
int rankval[4] = {1024, 2048, 4096, 8192};
char overitem[5][kItemText];
double overval[5] = {0.0, 0.25, 0.5, 0.75, 0.875};
char Yunit[7][kItemText];
char Xunit[7][kItemText];

const int ringcollect[4][2] = {{1, 1}, {0, 1}, {1, 1}, {1, 1}};
const int ringrun[4][2][3] = {
    {{1, 0, 1}, {0, 1, 1}},
    {{0, 0, 0}, {0, 1, 1}},
    {{1, 0, 1}, {0, 1, 1}},
    {{1, 0, 1}, {0, 1, 0}},
};
const int triggrun[4][2][6] = {
    {{1, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}},
    {{1, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}},
    {{1, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1}},
    {{1, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}},
};
const int param_analis[3][4][5] = {
    {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {1, 1, 1, 0, 0}, {1, 1, 1, 0, 0}},
    {{0, 0, 0, 0, 0}, {1, 1, 1, 1, 0}, {1, 1, 1, 1, 0}, {1, 1, 1, 1, 0}},
    {{1, 1, 1, 0, 0}, {1, 1, 1, 1, 0}, {1, 1, 1, 1, 0}, {1, 1, 1, 1, 0}},
};

const char* const textmode[kRunModes] = {
    "Сбор-непрерывный. Старт-свободный.",
    "Сбор-непрерывный. Старт по уровню.",
    "Сбор по условию. EXT TRIG.",
    "Сбор по условию. Старт по уровню",
    "Сбор по условию. Ниже уровня",
    "Сбор по условию. Выше уровня",
    "Сбор по условию. Регион",
    "Сбор по условию. Верхний гистерезис",
    "Сбор по условию. Нижний гистерезис",
};
const int ringmode[kRunModes] = {
    static_cast<int>(sizeof "Сбор-непрерывный. Старт-свободный." - 1),
    static_cast<int>(sizeof "Сбор-непрерывный. Старт по уровню." - 1),
    static_cast<int>(sizeof "Сбор по условию. EXT TRIG." - 1),
    static_cast<int>(sizeof "Сбор по условию. Старт по уровню" - 1),
    static_cast<int>(sizeof "Сбор по условию. Ниже уровня" - 1),
    static_cast<int>(sizeof "Сбор по условию. Выше уровня" - 1),
    static_cast<int>(sizeof "Сбор по условию. Регион" - 1),
    static_cast<int>(sizeof "Сбор по условию. Верхний гистерезис" - 1),
    static_cast<int>(sizeof "Сбор по условию. Нижний гистерезис" - 1),
};

char file_name[kPathLen];
char proj_dir[kPathLen];
