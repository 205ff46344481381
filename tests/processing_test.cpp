// The ring modulator's processing, through the stand-in host against the
// real libraries: every output sample bit for bit against the oracle, only
// the samples from start to start + count written, inputs left alone, and
// outputs that share or overlap an input's storage handled in sample order.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "float_bits.h"
#include "ring_build_test.h"
#include "ring_oracle.h"

using namespace ringtest;
using sehost::StandInHost;

namespace {

// A quiet NaN that neither an input nor a product of these tests carries:
// any float still holding it was never written.
constexpr uint32_t kUnwritten = 0x7fedcba9u;
constexpr long kBlock = 64;   // samples of each pin's buffer; start + count stays within
constexpr long kRegion = 128; // floats per pin in the arena: guard, block, guard
constexpr long kLead = 32;    // guard floats before each block; 64-byte multiple

// One piece of memory for the samples of every pin. Tests place the pins'
// buffers in it at chosen alignments and overlaps, and compare all of it,
// the guards around the buffers included, with what the oracle leaves in a
// copy: so a stray write, a skipped sample or a changed input all show.
class Arena {
 public:
  explicit Arena(int pins)
      : m_size(size_t(pins + 1) * kRegion), m_storage(m_size + 16) {
    for (size_t i = 0; i < m_size; ++i) put_bits(base() + i, kUnwritten);
  }
  Arena(const Arena& other) : m_size(other.m_size), m_storage(m_size + 16) {
    std::memcpy(base(), other.base(), m_size * sizeof(float));
  }
  Arena& operator=(const Arena&) = delete;

  float* at(long index) { return base() + index; }
  const float* at(long index) const { return base() + index; }
  size_t size() const { return m_size; }

 private:
  // Element 0 sits on a 64-byte boundary.
  float* base() {
    const uintptr_t raw = reinterpret_cast<uintptr_t>(m_storage.data());
    return reinterpret_cast<float*>((raw + 63) & ~uintptr_t(63));
  }
  const float* base() const { return const_cast<Arena*>(this)->base(); }

  size_t m_size;
  std::vector<float> m_storage;
};

// Where in the arena element 0 of each pin's buffer lies (inputs, then the
// output). Separate regions, each skewed by its count of floats from a
// 64-byte boundary.
std::vector<long> separate_layout(int inputs, const std::vector<long>& skews = {}) {
  std::vector<long> layout(size_t(inputs) + 1);
  for (int p = 0; p <= inputs; ++p)
    layout[p] = p * kRegion + kLead + (skews.empty() ? 0 : skews[size_t(p)]);
  return layout;
}

// ---- Input values --------------------------------------------------------

using Source = std::function<uint32_t()>;

// Normal floats of either sign within 2^-8 to 2^9: even sixteen of them
// multiply mostly within float range, so every bit of the rounding counts.
Source moderate_values(uint32_t seed) {
  return [rng = std::mt19937(seed)]() mutable {
    const uint32_t sign = rng() & 0x80000000u;
    const uint32_t exponent = 127u - 8u + rng() % 17u;
    return sign | exponent << 23 | (rng() & 0x007fffffu);
  };
}

// Any float but infinities and NaN: products overflow, underflow into the
// denormals and round at the bottom of the range.
Source any_finite(uint32_t seed) {
  return [rng = std::mt19937(seed)]() mutable {
    for (;;) {
      const uint32_t pattern = rng();
      if ((pattern & 0x7f800000u) != 0x7f800000u) return pattern;
    }
  };
}

// Close to 1, 0 and -1: where 1 - B and long products lose low bits, so a
// sum or product rounded to float too early shows.
Source near_identities(uint32_t seed) {
  return [rng = std::mt19937(seed)]() mutable {
    const double centre = std::array<double, 4>{1.0, 1.0, 0.0, -1.0}[rng() % 4];
    const double fraction = double(rng() & 0x00ffffffu) / double(0x01000000u);
    const double offset = std::ldexp(fraction, -int(1 + rng() % 30));
    return bits_of(float(centre + ((rng() & 1u) ? offset : -offset)));
  };
}

// Values that have their own IEEE rules, drawn at random so that they meet
// in every combination. The only NaN among them is the one x86 makes of an
// invalid operation (infinity times zero), so whichever NaN an operation
// passes on, its bits are the same.
Source special_values(uint32_t seed) {
  const std::vector<uint32_t> pool = {
      fb::kPlusZero, fb::kMinusZero, fb::kPlusInf, fb::kMinusInf, fb::kDefaultNaN,
      fb::kSmallestDenormal, fb::kSmallestDenormal | 0x80000000u, fb::kLargestDenormal,
      fb::kSmallestNormal, fb::kLargestFinite, fb::kLargestFinite | 0x80000000u,
      bits_of(1e30f), bits_of(-1e-30f), bits_of(std::ldexp(1.0f, -70)), fb::kOne,
      bits_of(-1.0f), bits_of(0.5f), bits_of(3.0f), bits_of(0.1f)};
  return [pool, rng = std::mt19937(seed)]() mutable { return pool[rng() % pool.size()]; };
}

// Elements 0 to kBlock-1 of every input buffer.
void fill_inputs(Arena& arena, const std::vector<long>& layout, int inputs, Source source) {
  for (int k = 0; k < inputs; ++k)
    for (long i = 0; i < kBlock; ++i) put_bits(arena.at(layout[k] + i), source());
}

// ---- Running and comparing -------------------------------------------------

// The first float at which two arenas differ, or "" where none does.
std::string first_difference(const Arena& expected, const Arena& actual,
                             const std::vector<long>& layout) {
  size_t differing = 0;
  std::string first;
  for (size_t i = 0; i < expected.size(); ++i) {
    const uint32_t want = bits_at(expected.at(long(i)));
    const uint32_t got = bits_at(actual.at(long(i)));
    if (want == got) continue;
    if (differing++ == 0) {
      first = "arena float " + std::to_string(i) + " (output element " +
              std::to_string(long(i) - layout.back()) + "): expected " + describe_bits(want) +
              ", got " + describe_bits(got);
    }
  }
  if (differing == 0) return "";
  return first + "; " + std::to_string(differing) + " floats differ";
}

// The module processes [start, start + count) of the pins placed by
// `layout`; the oracle does the same on a copy taken before. Returns "" when
// the whole arena then matches the copy bit for bit.
std::string process_and_compare(StandInHost& host, int inputs, Arena& arena,
                                const std::vector<long>& layout, long start, long count) {
  Arena expected(arena);
  std::vector<const float*> in(static_cast<size_t>(inputs));
  for (int k = 0; k < inputs; ++k) in[size_t(k)] = expected.at(layout[k] + start);
  if (count > 0) ring_oracle_run(inputs, in.data(), expected.at(layout[inputs] + start), count);

  for (int p = 0; p <= inputs; ++p) host.bindBuffer(p, arena.at(layout[p]));
  host.process(start, count);
  return first_difference(expected, arena, layout);
}

class Processing : public RingBuildTest {
 protected:
  void SetUp() override {
    RingBuildTest::SetUp();
    host = open_ring(inputs(), {kBlock});
    ASSERT_TRUE(host);
  }
  // Random moderate inputs in separate, aligned buffers.
  std::string runRandom(long start, long count, uint32_t seed = 1) {
    Arena arena(inputs());
    const auto layout = separate_layout(inputs());
    fill_inputs(arena, layout, inputs(), moderate_values(seed));
    return process_and_compare(*host, inputs(), arena, layout, start, count);
  }
  std::unique_ptr<StandInHost> host;
};
RING_FOR_EVERY_BUILD(Processing);

// ---- Values ------------------------------------------------------------------

TEST_P(Processing, MatchesTheOracleOnRandomValues) {
  const std::vector<std::pair<const char*, Source (*)(uint32_t)>> sources = {
      {"moderate", moderate_values}, {"any finite", any_finite},
      {"near 1, 0 and -1", near_identities}};
  for (const auto& [name, source] : sources) {
    for (uint32_t seed = 1; seed <= 4; ++seed) {
      Arena arena(inputs());
      const auto layout = separate_layout(inputs());
      fill_inputs(arena, layout, inputs(), source(seed * 7919u + uint32_t(inputs())));
      EXPECT_EQ(process_and_compare(*host, inputs(), arena, layout, 0, kBlock), "")
          << name << " values, seed " << seed;
    }
  }
}

TEST_P(Processing, MatchesTheOracleOnMixesOfSpecialValues) {
  for (uint32_t seed = 1; seed <= 16; ++seed) {
    Arena arena(inputs());
    const auto layout = separate_layout(inputs());
    fill_inputs(arena, layout, inputs(), special_values(seed * 104729u + uint32_t(inputs())));
    EXPECT_EQ(process_and_compare(*host, inputs(), arena, layout, 0, kBlock), "")
        << "seed " << seed;
  }
}

// A NaN in any one input, whatever its sign and payload, comes out as that
// NaN made quiet; the other inputs are ordinary numbers.
TEST_P(Processing, ANaNInAnyInputComesOutQuietened) {
  const uint32_t nans[] = {fb::kQuietNaN, fb::kDefaultNaN, 0x7fc12345u,
                           0xffe00001u,   0x7f800001u,     0xff80abcdu};
  for (const uint32_t nan : nans) {
    Arena arena(inputs());
    const auto layout = separate_layout(inputs());
    fill_inputs(arena, layout, inputs(), moderate_values(nan));
    for (int k = 0; k < inputs(); ++k) put_bits(arena.at(layout[k] + k), nan);  // sample k: input k
    ASSERT_EQ(process_and_compare(*host, inputs(), arena, layout, 0, inputs()), "")
        << describe_bits(nan);
    for (int k = 0; k < inputs(); ++k)
      EXPECT_EQ(bits_at(arena.at(layout[inputs()] + k)), nan | 0x00400000u)
          << describe_bits(nan) << " in input " << k;
  }
}

const std::vector<int>& product_input_counts() {
  static const std::vector<int> counts = {3, 4, 6, 8, 12, 16};
  return counts;
}

class ProductProcessing : public Processing {};
INSTANTIATE_TEST_SUITE_P(ProductBuilds, ProductProcessing,
                         ::testing::ValuesIn(product_input_counts()), build_param_name);

struct SpecialCase {
  const char* what;
  std::vector<uint32_t> factors;  // the other inputs are 1
  uint32_t expected;
  bool any_nan;  // the exact NaN is left to the oracle comparison
};

// Each case twice: its factors in the first inputs, then in the last ones.
TEST_P(ProductProcessing, SpecialValuesGiveTheirIeeeResults) {
  const uint32_t m = 0x80000000u;  // sign bit
  const uint32_t two = bits_of(2.0f), half = bits_of(0.5f), quarter = bits_of(0.25f);
  const uint32_t p2m70 = bits_of(std::ldexp(1.0f, -70)), p2m100 = bits_of(std::ldexp(1.0f, -100));
  const std::vector<SpecialCase> cases = {
      {"quiet NaN passes", {fb::kQuietNaN, two}, fb::kQuietNaN, false},
      {"sign and payload of a NaN kept", {0xffc12345u, bits_of(3.0f)}, 0xffc12345u, false},
      {"signalling NaN comes out quiet", {0x7f800001u, half}, 0x7fc00001u, false},
      {"NaN times zero stays that NaN", {fb::kQuietNaN, fb::kPlusZero}, fb::kQuietNaN, false},
      {"infinity times 2", {fb::kPlusInf, two}, fb::kPlusInf, false},
      {"infinity times -0.5", {fb::kPlusInf, bits_of(-0.5f)}, fb::kMinusInf, false},
      {"-infinity squared", {fb::kMinusInf, fb::kMinusInf}, fb::kPlusInf, false},
      {"infinity times zero", {fb::kPlusInf, fb::kPlusZero}, 0, true},
      {"zero times -infinity", {fb::kMinusZero, fb::kMinusInf}, 0, true},
      {"+0 times 5", {fb::kPlusZero, bits_of(5.0f)}, fb::kPlusZero, false},
      {"-0 times 5", {fb::kMinusZero, bits_of(5.0f)}, fb::kMinusZero, false},
      {"-0 times -5", {fb::kMinusZero, bits_of(-5.0f)}, fb::kPlusZero, false},
      {"+0 times a negative denormal", {fb::kPlusZero, fb::kSmallestDenormal | m}, fb::kMinusZero,
       false},
      {"overflow to +infinity", {fb::kLargestFinite, two}, fb::kPlusInf, false},
      {"overflow to -infinity", {fb::kLargestFinite, bits_of(-2.0f)}, fb::kMinusInf, false},
      {"1e30 times -1e30", {bits_of(1e30f), bits_of(-1e30f)}, fb::kMinusInf, false},
      {"largest float times 1", {fb::kLargestFinite}, fb::kLargestFinite, false},
      {"no rounding between factors: overflow undone",
       {fb::kLargestFinite, two, quarter}, 0x7effffffu, false},
      {"no rounding between factors: underflow undone",
       {p2m100, p2m100, bits_of(std::ldexp(1.0f, 100))}, p2m100, false},
      {"smallest denormal kept", {fb::kSmallestDenormal}, fb::kSmallestDenormal, false},
      {"largest negative denormal kept", {fb::kLargestDenormal | m}, fb::kLargestDenormal | m,
       false},
      {"smallest normal halved", {fb::kSmallestNormal, half}, 0x00400000u, false},
      {"2^-70 squared is a denormal", {p2m70, p2m70}, 0x00000200u, false},
      {"nearest denormal", {fb::kSmallestDenormal, bits_of(0.75f)}, fb::kSmallestDenormal, false},
      {"tie between denormals to even: zero", {fb::kSmallestDenormal, half}, fb::kPlusZero,
       false},
      {"tie between denormals to even: two", {0x00000003u, half}, 0x00000002u, false},
      {"underflow to -0", {fb::kSmallestDenormal | m, quarter}, fb::kMinusZero, false},
      {"1e-30 squared is +0", {bits_of(1e-30f), bits_of(1e-30f)}, fb::kPlusZero, false},
      {"-1e-30 times 1e-30 is -0", {bits_of(-1e-30f), bits_of(1e-30f)}, fb::kMinusZero, false},
  };
  ASSERT_LE(long(cases.size()) * 2, kBlock);

  Arena arena(inputs());
  const auto layout = separate_layout(inputs());
  const int n = inputs();
  for (size_t c = 0; c < cases.size(); ++c) {
    const auto& factors = cases[c].factors;
    const int first_of_last = n - int(factors.size());
    for (int k = 0; k < n; ++k) {
      const bool in_first = k < int(factors.size());
      const bool in_last = k >= first_of_last;
      put_bits(arena.at(layout[k] + long(2 * c)), in_first ? factors[size_t(k)] : fb::kOne);
      put_bits(arena.at(layout[k] + long(2 * c + 1)),
               in_last ? factors[size_t(k - first_of_last)] : fb::kOne);
    }
  }
  const long count = long(cases.size()) * 2;
  EXPECT_EQ(process_and_compare(*host, n, arena, layout, 0, count), "");
  for (size_t c = 0; c < cases.size(); ++c) {
    for (int placement = 0; placement < 2; ++placement) {
      const uint32_t got = bits_at(arena.at(layout[n] + long(2 * c) + placement));
      const char* where = placement == 0 ? "first inputs" : "last inputs";
      if (cases[c].any_nan)
        EXPECT_TRUE(is_nan_bits(got)) << cases[c].what << " (" << where << "): " << describe_bits(got);
      else
        EXPECT_EQ(describe_bits(got), describe_bits(cases[c].expected))
            << cases[c].what << " (" << where << ")";
    }
  }
}

TEST_P(ProductProcessing, AllInputsAtOneHalfGiveOneHalfToThePowerN) {
  Arena arena(inputs());
  const auto layout = separate_layout(inputs());
  fill_inputs(arena, layout, inputs(), [] { return bits_of(0.5f); });
  ASSERT_EQ(process_and_compare(*host, inputs(), arena, layout, 0, kBlock), "");
  EXPECT_EQ(bits_at(arena.at(layout[inputs()])), bits_of(std::ldexp(1.0f, -inputs())));
}

TEST(ThreeInputProcessing, HalfQuarterAndTwoGiveAQuarter) {
  auto host = open_ring(3, {kBlock});
  ASSERT_TRUE(host);
  for (long i = 0; i < kBlock; ++i) {
    host->buffer(0)[i] = 0.5f;
    host->buffer(1)[i] = 0.25f;
    host->buffer(2)[i] = 2.0f;
    put_bits(host->buffer(3) + i, kUnwritten);
  }
  host->process(0, kBlock);
  for (long i = 0; i < kBlock; ++i) EXPECT_EQ(bits_at(host->buffer(3) + i), bits_of(0.25f)) << i;
}

// With sixteen factors a double can overflow although the whole product
// fits a float: only the order A, B, C, ... decides the bits.
TEST(SixteenInputProcessing, TheProductIsFormedLeftToRightInDouble) {
  auto host = open_ring(16, {kBlock});
  ASSERT_TRUE(host);
  Arena arena(16);
  const auto layout = separate_layout(16);
  const uint32_t big = bits_of(std::ldexp(1.0f, 120));
  for (int k = 0; k < 16; ++k) {
    // Sample 0: nine times 2^120 first, beyond double range (+infinity),
    // then seven times 2^-149. Sample 1: the small factors first, 2^37.
    put_bits(arena.at(layout[k] + 0), k < 9 ? big : fb::kSmallestDenormal);
    put_bits(arena.at(layout[k] + 1), k < 7 ? fb::kSmallestDenormal : big);
  }
  EXPECT_EQ(process_and_compare(*host, 16, arena, layout, 0, 2), "");
  EXPECT_EQ(describe_bits(bits_at(arena.at(layout[16] + 0))), describe_bits(fb::kPlusInf));
  EXPECT_EQ(describe_bits(bits_at(arena.at(layout[16] + 1))),
            describe_bits(bits_of(std::ldexp(1.0f, 37))));
}

// A x (1 - B), one sample per case.
TEST(TwoInputProcessing, AProductWithOneMinusB) {
  struct Case {
    const char* what;
    uint32_t a, b, expected;
    bool any_nan;
  };
  const uint32_t m = 0x80000000u;
  const uint32_t seven_tenths = bits_of(0.7f);
  const std::vector<Case> cases = {
      {"0.5 and 0.25", bits_of(0.5f), bits_of(0.25f), bits_of(0.375f), false},
      {"B = 1 holds 3 at +0", bits_of(3.0f), fb::kOne, fb::kPlusZero, false},
      {"B = 1 holds -3 at -0", bits_of(-3.0f), fb::kOne, fb::kMinusZero, false},
      {"B = 1 holds a denormal at +0", 0x00000005u, fb::kOne, fb::kPlusZero, false},
      {"B = 1 holds the largest float at +0", fb::kLargestFinite, fb::kOne, fb::kPlusZero, false},
      {"B = 0 passes 0.7", seven_tenths, fb::kPlusZero, seven_tenths, false},
      {"B = -0 passes 0.7", seven_tenths, fb::kMinusZero, seven_tenths, false},
      {"B = 0 passes a denormal", fb::kSmallestDenormal, fb::kPlusZero, fb::kSmallestDenormal,
       false},
      {"B = 0 passes -0", fb::kMinusZero, fb::kPlusZero, fb::kMinusZero, false},
      {"B = 0 passes infinity", fb::kMinusInf, fb::kPlusZero, fb::kMinusInf, false},
      {"B = 0 passes a NaN", 0xffc12345u, fb::kPlusZero, 0xffc12345u, false},
      {"B = 0 passes the largest float", fb::kLargestFinite, fb::kPlusZero, fb::kLargestFinite,
       false},
      {"B = 2 negates", bits_of(2.0f), bits_of(2.0f), bits_of(-2.0f), false},
      {"B = -1 doubles into +infinity", fb::kLargestFinite, bits_of(-1.0f), fb::kPlusInf, false},
      {"B = -1 doubles into -infinity", fb::kLargestFinite | m, bits_of(-1.0f), fb::kMinusInf,
       false},
      {"B = -largest overflows", fb::kLargestFinite, fb::kLargestFinite | m, fb::kPlusInf, false},
      {"B = +infinity", fb::kOne, fb::kPlusInf, fb::kMinusInf, false},
      {"B = +infinity, A negative", bits_of(-1.0f), fb::kPlusInf, fb::kPlusInf, false},
      {"B = -infinity", bits_of(2.0f), fb::kMinusInf, fb::kPlusInf, false},
      {"A infinite, B = 1", fb::kPlusInf, fb::kOne, 0, true},
      {"A = 0, B infinite", fb::kPlusZero, fb::kPlusInf, 0, true},
      {"NaN in B comes out", fb::kOne, 0xffc12345u, 0xffc12345u, false},
      {"signalling NaN in B comes out quiet", fb::kOne, 0x7f800001u, 0x7fc00001u, false},
      {"NaN in A comes out", fb::kQuietNaN, bits_of(0.5f), fb::kQuietNaN, false},
      {"into the denormals", fb::kSmallestNormal, bits_of(0.5f), 0x00400000u, false},
      {"tie between denormals to even: zero", fb::kSmallestDenormal, bits_of(0.5f),
       fb::kPlusZero, false},
      {"tie between denormals to even: two", 0x00000003u, bits_of(0.5f), 0x00000002u, false},
      {"1 - B exact just below 1", fb::kOne, 0x3f7fffffu, 0x33800000u, false},
  };
  ASSERT_LE(long(cases.size()), kBlock);

  sehost::clear_failed_checks();
  auto host = open_ring(2, {kBlock});
  ASSERT_TRUE(host);
  Arena arena(2);
  const auto layout = separate_layout(2);
  for (size_t c = 0; c < cases.size(); ++c) {
    put_bits(arena.at(layout[0] + long(c)), cases[c].a);
    put_bits(arena.at(layout[1] + long(c)), cases[c].b);
  }
  EXPECT_EQ(process_and_compare(*host, 2, arena, layout, 0, long(cases.size())), "");
  for (size_t c = 0; c < cases.size(); ++c) {
    const uint32_t got = bits_at(arena.at(layout[2] + long(c)));
    if (cases[c].any_nan)
      EXPECT_TRUE(is_nan_bits(got)) << cases[c].what << ": " << describe_bits(got);
    else
      EXPECT_EQ(describe_bits(got), describe_bits(cases[c].expected)) << cases[c].what;
  }
  EXPECT_TRUE(sehost::failed_checks().empty());
}

// ---- Which samples are written ---------------------------------------------------

// Heads and tails of every length a vector loop might leave.
TEST_P(Processing, WritesExactlyTheSamplesFromStartToStartPlusCount) {
  Arena pristine(inputs());
  const auto layout = separate_layout(inputs());
  fill_inputs(pristine, layout, inputs(), moderate_values(17));
  int failures = 0;
  for (long start = 0; start <= 17; ++start) {
    for (long count = 1; count <= 40; ++count) {
      Arena arena(pristine);
      const std::string difference =
          process_and_compare(*host, inputs(), arena, layout, start, count);
      if (difference.empty()) continue;
      ADD_FAILURE() << "start " << start << ", count " << count << ": " << difference;
      if (++failures == 8) return;
    }
  }
}

TEST_P(Processing, CountZeroOrNegativeWritesNothing) {
  const long counts[] = {0, -1, -7, -64, LONG_MIN};
  for (const long start : {0L, 9L}) {
    for (const long count : counts) {
      Arena arena(inputs());
      const auto layout = separate_layout(inputs());
      fill_inputs(arena, layout, inputs(), moderate_values(3));
      const Arena before(arena);
      for (int p = 0; p <= inputs(); ++p) host->bindBuffer(p, arena.at(layout[p]));
      host->process(start, count);
      EXPECT_EQ(first_difference(before, arena, layout), "")
          << "start " << start << ", count " << count;
    }
  }
}

// ---- Outputs sharing storage with an input ------------------------------------------

const std::pair<long, long> kStartsAndCounts[] = {{0, 64}, {0, 1}, {1, 3}, {3, 17}, {5, 40},
                                                  {2, 33}};

TEST_P(Processing, OutputInTheVeryStorageOfAnInputGetsTheProduct) {
  for (int k = 0; k < inputs(); ++k) {
    for (const auto& [start, count] : kStartsAndCounts) {
      Arena arena(inputs());
      auto layout = separate_layout(inputs());
      fill_inputs(arena, layout, inputs(), moderate_values(uint32_t(100 + k)));
      layout[size_t(inputs())] = layout[size_t(k)];
      EXPECT_EQ(process_and_compare(*host, inputs(), arena, layout, start, count), "")
          << "output on input " << k << ", start " << start << ", count " << count;
    }
  }
}

// out = in + d: with d > 0 each sample reads what an earlier sample of the
// same call wrote, so only the per-sample order gives the oracle's result.
TEST_P(Processing, OutputOverlappingAnInputFollowsTheSampleOrder) {
  const long offsets[] = {-3, -1, 1, 2, 3, 5};
  for (int k = 0; k < inputs(); ++k) {
    for (const long offset : offsets) {
      for (const auto& [start, count] : kStartsAndCounts) {
        Arena arena(inputs());
        auto layout = separate_layout(inputs());
        fill_inputs(arena, layout, inputs(), near_identities(uint32_t(200 + k)));
        layout[size_t(inputs())] = layout[size_t(k)] + offset;
        EXPECT_EQ(process_and_compare(*host, inputs(), arena, layout, start, count), "")
            << "output at input " << k << " + " << offset << ", start " << start << ", count "
            << count;
      }
    }
  }
}

// ---- Alignment ------------------------------------------------------------------------

TEST_P(Processing, UnalignedBuffersGiveTheSameBits) {
  const int n = inputs();
  std::vector<std::pair<const char*, std::vector<long>>> skews;
  for (long s = 1; s <= 3; ++s)
    skews.push_back({"every pin skewed alike", std::vector<long>(size_t(n) + 1, s)});
  std::vector<long> mixed(size_t(n) + 1), output_only(size_t(n) + 1, 0), inputs_only(size_t(n) + 1, 1);
  for (int p = 0; p <= n; ++p) mixed[size_t(p)] = (p + 1) % 4;
  output_only[size_t(n)] = 3;
  inputs_only[size_t(n)] = 0;
  skews.push_back({"pins skewed differently", mixed});
  skews.push_back({"output skewed only", output_only});
  skews.push_back({"inputs skewed only", inputs_only});

  for (const auto& [what, skew] : skews) {
    for (const auto& [start, count] : kStartsAndCounts) {
      Arena arena(n);
      const auto layout = separate_layout(n, skew);
      fill_inputs(arena, layout, n, any_finite(uint32_t(300 + start)));
      EXPECT_EQ(process_and_compare(*host, n, arena, layout, start, count), "")
          << what << " (output by " << skew[size_t(n)] << "), start " << start << ", count "
          << count;
    }
  }
}

// ---- Nothing carries over ------------------------------------------------------------------

TEST_P(Processing, SuccessiveCallsGiveIdenticalOutputs) {
  Arena arena(inputs());
  const auto layout = separate_layout(inputs());
  fill_inputs(arena, layout, inputs(), special_values(5));
  ASSERT_EQ(process_and_compare(*host, inputs(), arena, layout, 0, kBlock), "");
  const Arena first(arena);
  for (long i = 0; i < kBlock; ++i) put_bits(arena.at(layout[inputs()] + i), kUnwritten);
  host->process(0, kBlock);
  EXPECT_EQ(first_difference(first, arena, layout), "") << "second call, cleared output";
  host->process(0, kBlock);
  EXPECT_EQ(first_difference(first, arena, layout), "") << "third call, output left written";
}

// A call full of NaNs and infinities leaves nothing behind for the next.
TEST_P(Processing, ACallAfterSpecialValuesMatchesTheOracle) {
  Arena specials(inputs());
  const auto layout = separate_layout(inputs());
  fill_inputs(specials, layout, inputs(), special_values(6));
  ASSERT_EQ(process_and_compare(*host, inputs(), specials, layout, 0, kBlock), "");
  EXPECT_EQ(runRandom(0, kBlock, 7), "");
}

// ---- Stack alignment of the host's calls --------------------------------------------------

TEST_P(Processing, MisalignedStackGivesTheSameBits) {
  for (const unsigned misalignment : {4u, 8u, 12u}) {
    auto skewed = open_ring(inputs(), {kBlock, misalignment});
    ASSERT_TRUE(skewed);
    for (const auto& [start, count] : kStartsAndCounts) {
      Arena arena(inputs());
      const auto layout = separate_layout(inputs(), std::vector<long>(size_t(inputs()) + 1, start % 4));
      fill_inputs(arena, layout, inputs(), special_values(uint32_t(400 + count)));
      EXPECT_EQ(process_and_compare(*skewed, inputs(), arena, layout, start, count), "")
          << "stack +" << misalignment << ", start " << start << ", count " << count;
    }
  }
}

}  // namespace
