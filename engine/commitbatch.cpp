#include "engine/commitbatch.h"

#include <asio/post.hpp>

void CommitBatch::commit(GroupCommit::Waiter waiter)
{
    if (staged.empty()) {
        // Posted behind the completions that the loop has already taken in, it runs after them.
        asio::post(loop, [this] { commits.commit(std::exchange(staged, {})); });
    }
    staged.push_back(std::move(waiter));
}
