// The front-end link's worker thread and its two queues (jobs in, reports out).
#include "analyzer/dkv_link.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr int kComPort = 0;  // COM1

struct LinkJob {
  enum Kind : int { kConnect, kCommand } kind;
  int word;
  int address;
  int value;
  AmplifRecord settings[kAmplifiers];
};

struct Worker {
  std::mutex mutex;
  std::condition_variable wake;  // a job queued, or the worker asked to stop
  std::condition_variable idle;  // the job queue ran empty
  std::deque<LinkJob> jobs;
  std::deque<LinkReport> reports;
  bool busy = false;  // a job taken from the queue is running
  bool stop = false;
  std::thread thread;
  DeviceLink* link = nullptr;  // touched by the worker only, and by Shutdown once it has ended

  ~Worker() { Shutdown(0); }
  void Submit(const LinkJob& job);
  void Run();
  void Report(const LinkReport& r);
  bool Stopping();
  void Execute(const LinkJob& job);
  void Shutdown(int waitMs);
};

Worker& TheWorker() {
  static Worker w;
  return w;
}

void Worker::Submit(const LinkJob& job) {
  std::lock_guard<std::mutex> lock(mutex);
  if (!thread.joinable()) {
    stop = false;
    thread = std::thread([this] { Run(); });
  }
  jobs.push_back(job);
  wake.notify_one();
}

void Worker::Report(const LinkReport& r) {
  std::lock_guard<std::mutex> lock(mutex);
  reports.push_back(r);
}

bool Worker::Stopping() {
  std::lock_guard<std::mutex> lock(mutex);
  return stop;
}

void Worker::Run() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    wake.wait(lock, [this] { return stop || !jobs.empty(); });
    if (stop) break;
    const LinkJob job = jobs.front();
    jobs.pop_front();
    busy = true;
    lock.unlock();
    Execute(job);
    lock.lock();
    busy = false;
    if (jobs.empty()) idle.notify_all();
  }
  busy = false;
  idle.notify_all();
}

int Send(DeviceLink* link, int word, int address, int value) {
  switch (word) {
    case kLinkGain: return DKV5120LibSetGain(link, address, value);
    case kLinkLowPass: return DKV5120LibSetLPF(link, address, value);
    default: return DKV5120LibSetHPF(link, address, value);
  }
}

// Opens COM1 on the worker's handle; 1 when the link exists.
int Create5128(Worker& w) {
  w.link = DKV5120LibCreate(kComPort);
  return w.link != nullptr ? 1 : 0;
}

// Puts the eight modules in remote mode, reporting each as it goes; how many answered. Stops
// early when the program is ending.
int InitCh5128(Worker& w) {
  int answered = 0;
  for (int address = 1; address <= kAmplifiers && !w.Stopping(); ++address) {
    w.Report({LinkReport::kModuleStart, address, 0, 0, w.link});
    const int r = DKV5120LibInit(w.link, address, 1);
    if (r > 0) ++answered;
    w.Report({LinkReport::kModuleDone, address, 0, r, w.link});
  }
  return answered;
}

void Worker::Execute(const LinkJob& job) {
  if (job.kind == LinkJob::kCommand) {
    const int r = Send(link, job.word, job.address, job.value);
    Report({LinkReport::kCommandDone, job.address, job.word, r, link});
    return;
  }
  // A second connect would find COM1 held by the first link.
  DKV5120LibClose(link);
  link = nullptr;
  // Without a port there is nobody to initialise (the library would do nothing with null).
  const int answered = Create5128(*this) == 1 ? InitCh5128(*this) : 0;
  if (answered == 0) {
    // Nobody listens: every later setting would wait out its reply window for nothing.
    DKV5120LibClose(link);
    link = nullptr;
  }
  // The modules in use take the settings the analyzer's scale is computed from.
  for (int i = 0; i < kAmplifiers && link != nullptr && !Stopping(); ++i) {
    const AmplifRecord& r = job.settings[i];
    if (r.on != 1) continue;
    DKV5120LibSetHPF(link, i + 1, r.hpfcode);
    DKV5120LibSetLPF(link, i + 1, r.lpfcode);
    DKV5120LibSetGain(link, i + 1, r.gain100);
  }
  Report({LinkReport::kConnectDone, 0, 0, answered, link});
}

void Worker::Shutdown(int waitMs) {
  std::unique_lock<std::mutex> lock(mutex);
  if (thread.joinable()) {
    idle.wait_for(lock, std::chrono::milliseconds(waitMs > 0 ? waitMs : 0),
                  [this] { return jobs.empty() && !busy; });
    stop = true;
    jobs.clear();
    wake.notify_all();
    lock.unlock();
    thread.join();
    lock.lock();
  }
  reports.clear();
  DeviceLink* held = link;
  link = nullptr;
  lock.unlock();
  DKV5120LibClose(held);
}

}  // namespace

void LinkConnect(const AmplifRecord* settings) {
  LinkJob job{LinkJob::kConnect, 0, 0, 0, {}};
  for (int i = 0; i < kAmplifiers; ++i) job.settings[i] = settings[i];
  TheWorker().Submit(job);
}

void LinkCommand(int word, int address, int value) {
  TheWorker().Submit({LinkJob::kCommand, word, address, value, {}});
}

bool LinkTakeReport(LinkReport* report) {
  Worker& w = TheWorker();
  std::lock_guard<std::mutex> lock(w.mutex);
  if (w.reports.empty()) return false;
  *report = w.reports.front();
  w.reports.pop_front();
  return true;
}

void LinkWaitIdle() {
  Worker& w = TheWorker();
  std::unique_lock<std::mutex> lock(w.mutex);
  w.idle.wait(lock, [&w] { return !w.thread.joinable() || (w.jobs.empty() && !w.busy); });
}

void LinkShutdown(int waitMs) { TheWorker().Shutdown(waitMs); }
