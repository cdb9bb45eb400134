// The mixer thread: a thread of the sound library's own that runs every
// libxmp call of the real-time outputs. It takes work from the controlling
// thread one piece at a time, runs a pass after each wake-up, and sleeps until
// the pass's deadline, new work or a wake-up.
//
// Threads: mixerStart, mixerRun and mixerStop on the controlling thread;
// mixerWake on any thread. The pending work and the wake flag are guarded by
// commandLock.
#include "sound_mixer.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Work handed to the mixer thread, with its completion.
struct Work {
  const std::function<void()>* run = nullptr;  // null asks the thread to end
  bool done = false;
};

std::mutex commandLock;
std::condition_variable commandCv;  // wakes the mixer thread
std::condition_variable replyCv;    // wakes the waiting caller
Work* pending = nullptr;            // guarded by commandLock
bool woken = false;                 // guarded by commandLock
std::thread mixer;
thread_local bool onMixerThread = false;

void mixerMain(RealTimeSoundDevice* out) {
  onMixerThread = true;
  for (;;) {
    Work* work = nullptr;
    {
      std::lock_guard<std::mutex> lock(commandLock);
      work = pending;
      woken = false;
    }
    bool quit = false;
    if (work != nullptr) {
      quit = work->run == nullptr;
      if (!quit) (*work->run)();
      {
        std::lock_guard<std::mutex> lock(commandLock);
        work->done = true;
        pending = nullptr;
      }
      replyCv.notify_all();
      if (quit) return;
    }
    const std::chrono::nanoseconds wait = soundMixerPass(*out);
    std::unique_lock<std::mutex> lock(commandLock);
    commandCv.wait_for(lock, wait, [] { return pending != nullptr || woken; });
  }
}

// Hands `work` to the mixer thread and waits until it is done.
void hand(Work& work) {
  std::unique_lock<std::mutex> lock(commandLock);
  replyCv.wait(lock, [] { return pending == nullptr; });
  pending = &work;
  commandCv.notify_one();
  replyCv.wait(lock, [&] { return work.done; });
}

}  // namespace

void mixerStart(RealTimeSoundDevice* out) { mixer = std::thread(mixerMain, out); }

void mixerRun(const std::function<void()>& work) {
  Work w;
  w.run = &work;
  hand(w);
}

void mixerStop() {
  if (!mixer.joinable()) return;
  Work quit;
  hand(quit);
  mixer.join();
}

bool mixerInsidePass() { return onMixerThread; }

void mixerWake() {
  {
    std::lock_guard<std::mutex> lock(commandLock);
    woken = true;
  }
  commandCv.notify_one();
}

void mixerAbandon() { mixer.detach(); }
