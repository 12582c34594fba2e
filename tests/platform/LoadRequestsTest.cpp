#include "platform/LoadRequests.h"

#include <gtest/gtest.h>

#include <memory>

using namespace ovra;

namespace {

const QStringList kScopes{QStringLiteral("/home/u/Documents")};
const QStringList kOtherScopes{QStringLiteral("/home/u/Downloads")};

} // namespace

// Asks while a load runs: the same token joins it, newer ones collapse into one
// more run for the newest (with its scopes), and every asker hears once the
// store has caught up with that.
TEST(LoadRequests, AsksDuringALoadCollapseIntoOneMoreRunForTheNewest)
{
    LoadRequests requests;
    bool startNow = false;
    QFuture<void> first = requests.ask(kScopes, 1, startNow);
    ASSERT_TRUE(startNow);
    requests.started(1);

    QFuture<void> same = requests.ask(kScopes, 1, startNow);
    EXPECT_FALSE(startNow);
    QFuture<void> second = requests.ask(kScopes, 2, startNow);
    EXPECT_FALSE(startNow);
    QFuture<void> third = requests.ask(kOtherScopes, 3, startNow);
    EXPECT_FALSE(startNow);

    const std::optional<LoadRequests::Run> next = requests.ended(1);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->token, 3);
    EXPECT_EQ(next->scopes, kOtherScopes);
    requests.started(next->token);
    EXPECT_FALSE(first.isFinished()) << "a waiter hears only once the newest state is in";

    EXPECT_FALSE(requests.ended(3).has_value());
    EXPECT_FALSE(requests.running());
    requests.finishWaiters();
    for (const QFuture<void>& waiter : {first, same, second, third})
        EXPECT_TRUE(waiter.isFinished());
    EXPECT_EQ(requests.loadedToken(), 3);
}

// The state already loaded is ready at once and starts nothing; a pending ask
// for the token that has just loaded needs no further run.
TEST(LoadRequests, TheLoadedStateIsReadyAtOnce)
{
    LoadRequests requests;
    bool startNow = false;
    (void)requests.ask(kScopes, 4, startNow);
    requests.started(4);
    EXPECT_FALSE(requests.ended(4).has_value());
    requests.finishWaiters();

    QFuture<void> again = requests.ask(kScopes, 4, startNow);
    EXPECT_FALSE(startNow);
    EXPECT_TRUE(again.isFinished());
}

// A store that goes mid-load leaves no asker waiting for ever.
TEST(LoadRequests, WaitersFinishWhenTheStoreGoes)
{
    auto requests = std::make_unique<LoadRequests>();
    bool startNow = false;
    QFuture<void> waiting = requests->ask(kScopes, 1, startNow);
    requests->started(1);
    requests.reset();
    EXPECT_TRUE(waiting.isFinished());
}
