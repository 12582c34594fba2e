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

namespace {

using Keyed = KeyedLoadRequests<QString>;
const QString kImages = QStringLiteral("images");
const QString kMusic = QStringLiteral("music");

// Runs `key` for `token` to its end; the next token asked meanwhile, if any.
std::optional<qint64> loadOnce(Keyed& loads, const QString& key, qint64 token)
{
    EXPECT_EQ(loads.ask(key, token), Keyed::Answer::start);
    (void)loads.started(key);
    return loads.ended(key, token);
}

} // namespace

// Tokens are points in time: a thing loaded for a token is up to date for it
// and every older one, and each thing keeps its own.
TEST(KeyedLoadRequests, ALoadedTokenCoversItselfAndOlderOnesForItsKeyAlone)
{
    Keyed loads;
    EXPECT_FALSE(loadOnce(loads, kImages, 5).has_value());
    EXPECT_EQ(loads.ask(kImages, 5), Keyed::Answer::upToDate);
    EXPECT_EQ(loads.ask(kImages, 2), Keyed::Answer::upToDate);
    EXPECT_EQ(loads.ask(kImages, 6), Keyed::Answer::start);
    EXPECT_EQ(loads.ask(kMusic, 0), Keyed::Answer::start);
    EXPECT_FALSE(loads.isRunning(kImages));
}

// Asks during a run join it; only a token newer than the one the run loads
// makes one more run, for the newest asked.
TEST(KeyedLoadRequests, NewerTokensAskedDuringARunMakeOneMoreRunForTheNewest)
{
    Keyed loads;
    ASSERT_EQ(loads.ask(kImages, 1), Keyed::Answer::start);
    (void)loads.started(kImages);
    EXPECT_EQ(loads.ask(kImages, 1), Keyed::Answer::joined);
    EXPECT_EQ(loads.ask(kImages, 7), Keyed::Answer::joined);
    EXPECT_EQ(loads.ask(kImages, 3), Keyed::Answer::joined);
    EXPECT_EQ(loads.running(), QSet<QString>{kImages});
    EXPECT_EQ(loads.ended(kImages, 1), std::optional<qint64>(7));
    EXPECT_FALSE(loads.isRunning(kImages));

    ASSERT_EQ(loads.ask(kImages, 7), Keyed::Answer::start);
    (void)loads.started(kImages);
    EXPECT_EQ(loads.ask(kImages, 7), Keyed::Answer::joined);
    EXPECT_FALSE(loads.ended(kImages, 7).has_value()) << "the token it just loaded";
}

// A cancelled run counts as nothing: not loaded, its later asks forgotten, and
// its answer, already on its way, no longer wanted, though a new run of the
// same key is.
TEST(KeyedLoadRequests, ACancelledRunLoadsNothingAndItsAnswerIsDropped)
{
    Keyed loads;
    ASSERT_EQ(loads.ask(kImages, 1), Keyed::Answer::start);
    const std::function<bool()> cancelledRun = loads.started(kImages);
    EXPECT_TRUE(cancelledRun());
    (void)loads.ask(kImages, 4);
    EXPECT_TRUE(loads.cancel(kImages));
    EXPECT_FALSE(loads.cancel(kImages)) << "nothing runs any more";
    EXPECT_FALSE(cancelledRun());
    EXPECT_FALSE(loads.isLoaded(kImages));

    ASSERT_EQ(loads.ask(kImages, 1), Keyed::Answer::start);
    const std::function<bool()> newRun = loads.started(kImages);
    EXPECT_FALSE(cancelledRun());
    EXPECT_TRUE(newRun());
    EXPECT_FALSE(loads.ended(kImages, 1).has_value()) << "the cancelled run's ask is gone";
    EXPECT_FALSE(newRun());
}

// A reload asks again for the token a thing has; none for a thing that runs or
// never loaded. Once reloaded it is up to date again.
TEST(KeyedLoadRequests, AReloadAsksAgainForTheLoadedToken)
{
    Keyed loads;
    EXPECT_FALSE(loads.reload(kImages).has_value());
    (void)loadOnce(loads, kImages, 3);
    const std::optional<qint64> token = loads.reload(kImages);
    ASSERT_EQ(token, std::optional<qint64>(3));
    EXPECT_FALSE(loadOnce(loads, kImages, *token).has_value());
    EXPECT_EQ(loads.ask(kImages, 3), Keyed::Answer::upToDate);

    ASSERT_EQ(loads.reload(kImages), std::optional<qint64>(3));
    ASSERT_EQ(loads.ask(kImages, 3), Keyed::Answer::start);
    (void)loads.started(kImages);
    EXPECT_FALSE(loads.reload(kImages).has_value()) << "it loads already";
}

// The answer of a run is unwanted once the requests are gone.
TEST(KeyedLoadRequests, NoAnswerIsWantedOnceTheRequestsAreGone)
{
    auto loads = std::make_unique<Keyed>();
    (void)loads->ask(kImages, 1);
    const std::function<bool()> run = loads->started(kImages);
    loads.reset();
    EXPECT_FALSE(run());
}
