#pragma once

#include "recording/dayfile.h"

#include <QByteArray>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Makes day files durable for many messages at once, as databases commit many transactions with one
// log flush: whoever waits for a file to reach the disk joins the next round, and a round syncs each
// of its files once (or the whole file system once, when many files wait), and the folders of new
// files. The devices that send together share the wait instead of queueing for a sync each.
class GroupCommit
{
public:
    GroupCommit();
    ~GroupCommit(); // after the rounds in hand

    // `done` is called on the commit thread once what has been written to `file` so far is on stable
    // storage (true), or could not be made so (false). Without a file, what has been written to the
    // file system of `folder` so far: a file that was closed after its line, for want of descriptors.
    struct Waiter
    {
        std::shared_ptr<DayFile> file;
        std::function<void(bool durable)> done;
        QByteArray folder;
    };
    void commit(std::vector<Waiter> waiters);

private:
    void run();
    static void syncRound(std::vector<Waiter>& round);

    std::mutex mutex;
    std::condition_variable wake;
    std::vector<Waiter> pending;
    bool stopping = false;
    std::thread thread;
};
