#include "policy/resource_launch.h"

#include <gtest/gtest.h>

namespace {

// The process-wide gate is a static; it must hold its initial values without
// any constructor having run.
constinit kesta::ResourceLaunch staticGate;

void ExpectWaiting(const kesta::ResourceLaunch& gate) {
  EXPECT_FALSE(gate.admitted);
  EXPECT_EQ(gate.admittedGeneration, "");
  EXPECT_EQ(gate.admittedOrigin, "");
}

void ExpectAdmitted(const kesta::ResourceLaunch& gate, const std::string& generation, const std::string& origin) {
  EXPECT_TRUE(gate.admitted);
  EXPECT_EQ(gate.admittedGeneration, generation);
  EXPECT_EQ(gate.admittedOrigin, origin);
}

TEST(ResourceLaunch, FreshGateIsClosedAndNeedsNoReentry) {
  EXPECT_FALSE(staticGate.admitted);
  EXPECT_TRUE(staticGate.updateGate);
  EXPECT_TRUE(staticGate.observedGeneration.empty());
  EXPECT_TRUE(staticGate.observedOrigin.empty());

  kesta::ResourceLaunch gate;
  EXPECT_FALSE(gate.Admit(true));
  EXPECT_FALSE(gate.NeedsReentry());
  ExpectWaiting(gate);
}

TEST(ResourceLaunch, AdmitsOnlyWhenReadyThenFixesThePair) {
  kesta::ResourceLaunch gate;
  gate.Observe("A", "https://b.example", false);
  EXPECT_FALSE(gate.Admit(false));
  ExpectWaiting(gate);
  EXPECT_EQ(gate.observedGeneration, "A");
  EXPECT_FALSE(gate.updateGate);

  EXPECT_TRUE(gate.Admit(true));
  ExpectAdmitted(gate, "A", "https://b.example");
  EXPECT_FALSE(gate.NeedsReentry());
}

TEST(ResourceLaunch, AdmitsAtMostOnce) {
  kesta::ResourceLaunch gate;
  gate.Observe("A", "B", false);
  ASSERT_TRUE(gate.Admit(true));
  EXPECT_FALSE(gate.Admit(true));
  gate.Observe("C", "D", false);
  EXPECT_FALSE(gate.Admit(true));
  ExpectAdmitted(gate, "A", "B");
  // Observing never reopens or rewrites the admitted launch.
  EXPECT_EQ(gate.observedGeneration, "C");
  EXPECT_EQ(gate.observedOrigin, "D");
}

TEST(ResourceLaunch, RefusesIncompleteOrGatedObservations) {
  struct Case {
    const char* generation;
    const char* origin;
    bool gate;
  } cases[] = {
      {"", "B", false},
      {"A", "", false},
      {"", "", false},
      {"A", "B", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.generation) + "|" + c.origin + "|" + (c.gate ? "closed" : "open"));
    kesta::ResourceLaunch gate;
    gate.Observe(c.generation, c.origin, c.gate);
    EXPECT_FALSE(gate.Admit(true));
    ExpectWaiting(gate);
    EXPECT_FALSE(gate.NeedsReentry());
  }
}

TEST(ResourceLaunch, ClosingTheGateAfterAnOpenObservationBlocksAdmission) {
  kesta::ResourceLaunch gate;
  gate.Observe("A", "B", false);
  gate.Observe("A", "B", true);
  EXPECT_FALSE(gate.Admit(true));
  gate.Observe("A", "B", false);
  EXPECT_TRUE(gate.Admit(true));
}

TEST(ResourceLaunch, ReentryFollowsTheLatestObservation) {
  kesta::ResourceLaunch gate;
  gate.Observe("A", "B", false);
  ASSERT_TRUE(gate.Admit(true));

  gate.Observe("C", "B", false);
  EXPECT_TRUE(gate.NeedsReentry());
  // Back to the admitted pair: not a latch, and the closed gate plays no part.
  gate.Observe("A", "B", true);
  EXPECT_FALSE(gate.NeedsReentry());

  gate.Observe("A", "C", false);
  EXPECT_TRUE(gate.NeedsReentry());
  ExpectAdmitted(gate, "A", "B");
}

TEST(ResourceLaunch, ReentryComparesBytesExactly) {
  kesta::ResourceLaunch gate;
  gate.Observe("gen-1", "https://game.example", false);
  ASSERT_TRUE(gate.Admit(true));

  const std::pair<const char*, const char*> differing[] = {
      {"gen-1", "https://GAME.example"},   // letter case
      {"gen-1", "https://game.example/"},  // no URL normalisation
      {"gen-1 ", "https://game.example"},  // no trimming
      {"", "https://game.example"},       {"gen-1", ""},
  };
  for (const auto& [generation, origin] : differing) {
    SCOPED_TRACE(std::string(generation) + "|" + origin);
    gate.Observe(generation, origin, false);
    EXPECT_TRUE(gate.NeedsReentry());
  }
  // An embedded NUL makes a longer string, never an equal one.
  gate.Observe(std::string("gen-1\0", 6), "https://game.example", false);
  EXPECT_TRUE(gate.NeedsReentry());
}

}  // namespace
