#pragma once

#include "engine/groupcommit.h"

#include <asio/any_io_executor.hpp>
#include <vector>

// What one turn of an event loop leaves waiting for the disk, handed to the group commit in one piece
// once the handlers that were ready with it have run: the devices whose messages came in together
// share a sync, and the commit thread is woken once a turn instead of once a message. Touched by its
// event loop only.
class CommitBatch
{
public:
    CommitBatch(GroupCommit& commits, asio::any_io_executor loop) : commits(commits), loop(std::move(loop)) { }

    // As GroupCommit::commit, from the loop's thread.
    void commit(GroupCommit::Waiter waiter);

private:
    GroupCommit& commits;
    asio::any_io_executor loop;
    std::vector<GroupCommit::Waiter> staged;
};
