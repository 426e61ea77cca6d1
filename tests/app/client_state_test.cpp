// Tests of the client state's message ring and nickname comparisons.
#include "app/client_state.h"

#include <gtest/gtest.h>

namespace falatro {
namespace {

class MessageRing : public ::testing::Test {
 protected:
  void SetUp() override { ResetClientState(); }
  void TearDown() override { ResetClientState(); }
};

TEST_F(MessageRing, KeepsOrderAndCount) {
  struct Case { const char* what; int queued; int expected_count; int first; int lost; };
  const Case cases[] = {
      {"empty ring", 0, 0, -1, 0},
      {"one message", 1, 1, 0, 0},
      {"254 fit", 254, 254, 0, 0},
      {"the 255th drops only the oldest", 255, 254, 1, 1},
      {"far past full keeps the newest 254", 1000, 254, 746, 746},
  };
  for (const Case& c : cases) {
    ResetClientState();
    for (int i = 0; i < c.queued; ++i) QueueMessage("m" + std::to_string(i));
    EXPECT_EQ(QueuedMessageCount(), c.expected_count) << c.what;
    EXPECT_EQ(Client.MessagesLost, static_cast<uint64_t>(c.lost)) << c.what;
    std::string text;
    if (c.first < 0) {
      EXPECT_FALSE(TakeQueuedMessage(&text)) << c.what;
      continue;
    }
    for (int i = 0; i < c.expected_count; ++i) {
      ASSERT_TRUE(TakeQueuedMessage(&text)) << c.what;
      EXPECT_EQ(text, "m" + std::to_string(c.first + i)) << c.what;
    }
    EXPECT_FALSE(TakeQueuedMessage(&text)) << c.what << ": drained";
  }
}

TEST_F(MessageRing, WrapsAroundWhileReadAlong) {
  // Two in, one out: the ring fills after 254 rounds and from then on loses its oldest entries, in
  // order, never the new ones.
  std::string text;
  for (int i = 0; i < 1000; ++i) {
    QueueMessage(std::to_string(i));
    QueueMessage(std::to_string(i) + "b");
    ASSERT_TRUE(TakeQueuedMessage(&text));
  }
  // 2000 in, 1000 taken, 253 left after the last take: 747 lost, the oldest ones.
  EXPECT_EQ(Client.MessagesLost, 747u);
  EXPECT_EQ(QueuedMessageCount(), 253);
  ASSERT_TRUE(TakeQueuedMessage(&text));
  EXPECT_EQ(text, "873b");
  ASSERT_TRUE(TakeQueuedMessage(&text));
  EXPECT_EQ(text, "874");
  ClearMessageQueue();
  EXPECT_EQ(QueuedMessageCount(), 0);
  EXPECT_FALSE(TakeQueuedMessage(&text));
}

TEST_F(MessageRing, NicknamesCompareWithoutLetterCase) {
  struct Case { const char* a; const char* b; bool same; };
  const Case cases[] = {
      {"joao", "JOAO", true},
      {"Jo\xE3o", "JO\xC3O", true},
      {"joao", "joao_", false},
      {"", "", true},
      {"[a]", "[A]", true},
  };
  for (const Case& c : cases) EXPECT_EQ(SameNickname(c.a, c.b), c.same) << c.a << " / " << c.b;
}

TEST_F(MessageRing, IgnoreListMatchesAnySlot) {
  Client.IgnoreList.fill("x");
  Client.IgnoreList[77] = "Chato";
  EXPECT_TRUE(IsIgnored("CHATO"));
  EXPECT_FALSE(IsIgnored("outro"));
  EXPECT_FALSE(IsIgnored("")) << "no free slot left";
  Client.IgnoreList[3].clear();
  EXPECT_TRUE(IsIgnored("")) << "an empty sender equals a free slot";
}

}  // namespace
}  // namespace falatro
