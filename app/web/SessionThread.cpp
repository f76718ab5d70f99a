#include "SessionThread.h"

SessionThread::SessionThread(std::function<bool()> start, std::function<void()> stop)
    : fStart(std::move(start)), fStop(std::move(stop)), fStartedFuture(fStarted.get_future().share()) {
    fThread = std::thread([this] { Loop(); });
}

SessionThread::~SessionThread() {
    Quit();
}

bool SessionThread::Started() {
    return fStartedFuture.get();
}

bool SessionThread::Post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(fMutex);
        if (fQuit) return false;
        fWork.push_back(std::move(work));
    }
    fWake.notify_one();
    return true;
}

void SessionThread::Quit() {
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fQuit = true;
    }
    fWake.notify_one();
    if (fThread.joinable()) fThread.join();
}

void SessionThread::Loop() {
    const bool ok = fStart ? fStart() : true;
    fStarted.set_value(ok);
    if (!ok) {
        std::lock_guard<std::mutex> lock(fMutex);
        fQuit = true;
        fWork.clear();
        return;
    }
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock<std::mutex> lock(fMutex);
            fWake.wait(lock, [&] { return fQuit || !fWork.empty(); });
            if (fWork.empty()) break;
            work = std::move(fWork.front());
            fWork.pop_front();
        }
        work();
    }
    if (fStop) fStop();
}
