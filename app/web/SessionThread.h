// The one thread the host session lives on. The host and the plug-in run on one thread, one
// call at a time, as on the desktop; the server's threads hand their work to this one and
// wait for the answer.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

class SessionThread {
public:
    // start runs first on the thread (it starts the host); its false ends the thread at once.
    // stop runs last (it closes the documents and stops the host).
    SessionThread(std::function<bool()> start, std::function<void()> stop);
    ~SessionThread();
    SessionThread(const SessionThread&) = delete;
    SessionThread& operator=(const SessionThread&) = delete;

    // Whether start succeeded (waits for it).
    bool Started();
    // Runs the work on the session thread and gives back its result. After Quit the work is
    // not run and the result is the type's default.
    template <class F> auto Call(F work) -> decltype(work()) {
        using R = decltype(work());
        auto task = std::make_shared<std::packaged_task<R()>>(std::move(work));
        std::future<R> result = task->get_future();
        if (!Post([task] { (*task)(); })) return R();
        return result.get();
    }
    // Lets the work queued so far finish, then runs stop and ends the thread.
    void Quit();

private:
    bool Post(std::function<void()> work);
    void Loop();

    std::function<bool()> fStart;
    std::function<void()> fStop;
    std::mutex fMutex;
    std::condition_variable fWake;
    std::deque<std::function<void()>> fWork;
    bool fQuit = false;
    std::promise<bool> fStarted;
    std::shared_future<bool> fStartedFuture;
    std::thread fThread;
};
