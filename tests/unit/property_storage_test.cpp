#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "quillmere_common/properties/storage.hpp"

namespace {

namespace props = quillmere_common::properties;
namespace keys = props::property_keys;
using props::WorldObjectProperties;

enum class Kind { Int, Int64, Bool, Float, String, DataId, InstanceId };

const char* kind_name(Kind k) {
  switch (k) {
    case Kind::Int: return "int";
    case Kind::Int64: return "int64";
    case Kind::Bool: return "bool";
    case Kind::Float: return "float";
    case Kind::String: return "string";
    case Kind::DataId: return "data_id";
    case Kind::InstanceId: return "instance_id";
  }
  return "?";
}

// from_repr of the kind, reduced to "resolves" plus the code it gives back.
std::optional<std::uint32_t> resolve(Kind k, std::uint32_t code) {
  auto back = [](auto key) -> std::optional<std::uint32_t> {
    if (!key) return std::nullopt;
    return static_cast<std::uint32_t>(*key);
  };
  switch (k) {
    case Kind::Int: return back(keys::ints::from_repr(code));
    case Kind::Int64: return back(keys::int64s::from_repr(code));
    case Kind::Bool: return back(keys::bools::from_repr(code));
    case Kind::Float: return back(keys::floats::from_repr(code));
    case Kind::String: return back(keys::strings::from_repr(code));
    case Kind::DataId: return back(keys::data_ids::from_repr(code));
    case Kind::InstanceId: return back(keys::instance_ids::from_repr(code));
  }
  return std::nullopt;
}

// Applies a storable value of the kind under the raw code; returns the size of the kind's map.
std::size_t apply_and_count(WorldObjectProperties& p, Kind k, std::uint32_t code) {
  switch (k) {
    case Kind::Int: p.apply_raw_int(code, -5); return p.ints.size();
    case Kind::Int64: p.apply_raw_int64(code, INT64_MIN); return p.int64s.size();
    case Kind::Bool: p.apply_raw_bool(code, true); return p.bools.size();
    case Kind::Float: p.apply_raw_float(code, 2.5); return p.floats.size();
    case Kind::String: p.apply_raw_string(code, "text"); return p.strings.size();
    case Kind::DataId: p.apply_raw_did(code, 0x06001234); return p.data_ids.size();
    case Kind::InstanceId: p.apply_raw_iid(code, 0x80000001); return p.instance_ids.size();
  }
  return 0;
}

std::size_t total_entries(const WorldObjectProperties& p) {
  return p.ints.size() + p.int64s.size() + p.bools.size() + p.floats.size() + p.strings.size() +
         p.data_ids.size() + p.instance_ids.size();
}

struct CodeCase {
  Kind kind;
  std::uint32_t code;
  bool accepted;
};

// Both sides of every edge of every accepted range, plus the extremes.
const std::vector<CodeCase> kCodeCases = {
    {Kind::Int, 0, false},          {Kind::Int, 1, true},           {Kind::Int, 390, true},
    {Kind::Int, 391, false},        {Kind::Int, 8006, false},       {Kind::Int, 8007, true},
    {Kind::Int, 8008, false},       {Kind::Int, 8029, false},       {Kind::Int, 8030, true},
    {Kind::Int, 8031, false},       {Kind::Int, 8040, false},       {Kind::Int, 8041, true},
    {Kind::Int, 8042, true},        {Kind::Int, 8043, true},        {Kind::Int, 8044, false},
    {Kind::Int, 9007, false},       {Kind::Int, 9008, true},        {Kind::Int, 9015, true},
    {Kind::Int, 9016, false},       {Kind::Int, UINT32_MAX, false},

    {Kind::Int64, 0, false},        {Kind::Int64, 1, true},         {Kind::Int64, 8, true},
    {Kind::Int64, 9, false},        {Kind::Int64, UINT32_MAX, false},

    {Kind::Bool, 0, true},          {Kind::Bool, 130, true},        {Kind::Bool, 131, false},
    {Kind::Bool, 9000, false},      {Kind::Bool, 9001, true},       {Kind::Bool, 9010, true},
    {Kind::Bool, 9011, false},      {Kind::Bool, UINT32_MAX, false},

    {Kind::Float, 0, true},         {Kind::Float, 171, true},       {Kind::Float, 172, false},
    {Kind::Float, 8003, false},     {Kind::Float, 8004, true},      {Kind::Float, 8005, false},
    {Kind::Float, 8009, false},     {Kind::Float, 8010, true},      {Kind::Float, 8018, true},
    {Kind::Float, 8019, false},     {Kind::Float, UINT32_MAX, false},

    {Kind::String, 0, false},       {Kind::String, 1, true},        {Kind::String, 52, true},
    {Kind::String, 53, false},      {Kind::String, 8005, false},    {Kind::String, 8006, true},
    {Kind::String, 8007, false},    {Kind::String, 8030, false},    {Kind::String, 8031, true},
    {Kind::String, 8032, true},     {Kind::String, 8033, false},    {Kind::String, 9000, false},
    {Kind::String, 9001, true},     {Kind::String, 9007, true},     {Kind::String, 9008, false},
    {Kind::String, UINT32_MAX, false},

    {Kind::DataId, 0, false},       {Kind::DataId, 1, true},        {Kind::DataId, 61, true},
    {Kind::DataId, 62, false},      {Kind::DataId, 8000, false},    {Kind::DataId, 8001, true},
    {Kind::DataId, 8002, true},     {Kind::DataId, 8003, true},     {Kind::DataId, 8004, false},
    {Kind::DataId, 8005, true},     {Kind::DataId, 8006, false},    {Kind::DataId, 8008, false},
    {Kind::DataId, 8009, true},     {Kind::DataId, 8010, false},    {Kind::DataId, 8018, false},
    {Kind::DataId, 8019, true},     {Kind::DataId, 8030, true},     {Kind::DataId, 8031, false},
    {Kind::DataId, 8043, false},    {Kind::DataId, 8044, true},     {Kind::DataId, 8045, false},
    {Kind::DataId, UINT32_MAX, false},

    {Kind::InstanceId, 0, false},   {Kind::InstanceId, 1, true},    {Kind::InstanceId, 45, true},
    {Kind::InstanceId, 46, false},  {Kind::InstanceId, 7999, false}, {Kind::InstanceId, 8000, true},
    {Kind::InstanceId, 8001, false}, {Kind::InstanceId, 8007, false}, {Kind::InstanceId, 8008, true},
    {Kind::InstanceId, 8009, false}, {Kind::InstanceId, UINT32_MAX, false},
};

TEST(PropertyKeys, FromReprAcceptsExactlyTheEdgesOfEachRange) {
  for (const auto& c : kCodeCases) {
    auto key = resolve(c.kind, c.code);
    EXPECT_EQ(key.has_value(), c.accepted) << kind_name(c.kind) << " code " << c.code;
    if (key) {
      EXPECT_EQ(*key, c.code) << kind_name(c.kind) << ": the key gives its code back";
    }
  }
}

TEST(PropertyKeys, RawApplyStoresExactlyTheAcceptedCodes) {
  for (const auto& c : kCodeCases) {
    WorldObjectProperties p;
    EXPECT_EQ(apply_and_count(p, c.kind, c.code), c.accepted ? 1u : 0u) << kind_name(c.kind) << " code " << c.code;
    EXPECT_EQ(total_entries(p), c.accepted ? 1u : 0u) << "nothing lands in another kind's map";
  }
}

// The number of members below 10,000 pins the whole set, not just the edges tested above.
TEST(PropertyKeys, MemberCountsPerKind) {
  const std::vector<std::pair<Kind, std::size_t>> expected = {
      {Kind::Int, 390 + 5 + 8}, {Kind::Int64, 8},      {Kind::Bool, 131 + 10},       {Kind::Float, 172 + 1 + 9},
      {Kind::String, 52 + 3 + 7}, {Kind::DataId, 61 + 5 + 12 + 1}, {Kind::InstanceId, 45 + 2},
  };
  for (const auto& [kind, count] : expected) {
    std::size_t members = 0;
    for (std::uint32_t code = 0; code < 100000; ++code) members += resolve(kind, code).has_value() ? 1 : 0;
    EXPECT_EQ(members, count) << kind_name(kind);
  }
}

TEST(PropertyKeys, NamedKeysCarryTheirCodes) {
  EXPECT_EQ(keys::strings::to_repr(props::PropertyString::Name), 1u);
  EXPECT_EQ(keys::data_ids::to_repr(props::PropertyDataId::Icon), 8u);
  EXPECT_EQ(keys::strings::from_repr(1), props::PropertyString::Name);
  EXPECT_EQ(keys::data_ids::from_repr(8), props::PropertyDataId::Icon);
}

TEST(PropertyStorage, RepeatedKeyKeepsTheLastValue) {
  WorldObjectProperties p;
  p.apply_raw_int(25, 1);
  p.apply_raw_int(25, 2);
  ASSERT_EQ(p.ints.size(), 1u);
  EXPECT_EQ(p.ints.begin()->second, 2);
  p.apply_raw_float(0, 1.5);
  p.apply_raw_float(0, -0.25);
  ASSERT_EQ(p.floats.size(), 1u);
  EXPECT_EQ(p.floats.begin()->second, -0.25);
  p.apply_raw_bool(0, true);
  p.apply_raw_bool(0, false);
  ASSERT_EQ(p.bools.size(), 1u);
  EXPECT_FALSE(p.bools.begin()->second);
}

TEST(PropertyStorage, ValuesAreStoredBitForBit) {
  WorldObjectProperties p;
  p.apply_raw_int(1, INT32_MIN);
  p.apply_raw_int64(8, INT64_MAX);
  p.apply_raw_iid(8008, UINT32_MAX);
  EXPECT_EQ(p.ints.at(*keys::ints::from_repr(1)), INT32_MIN);
  EXPECT_EQ(p.int64s.at(*keys::int64s::from_repr(8)), INT64_MAX);
  EXPECT_EQ(p.instance_ids.at(*keys::instance_ids::from_repr(8008)), UINT32_MAX);
}

TEST(PropertyStorage, EmptyStringRemovesTheKey) {
  WorldObjectProperties p;
  p.apply_raw_string(1, "Sword");
  p.apply_raw_string(3, "kept");
  p.apply_raw_string(1, "");
  EXPECT_FALSE(p.strings.contains(props::PropertyString::Name));
  EXPECT_EQ(p.strings.size(), 1u);
  p.apply_raw_string(5, "");  // absent key: nothing happens
  EXPECT_EQ(p.strings.size(), 1u);
}

TEST(PropertyStorage, ZeroIdsRemoveTheKey) {
  WorldObjectProperties p;
  p.apply_raw_did(8, 0x06001000);
  p.apply_raw_did(9, 0x06002000);
  p.apply_raw_did(8, 0);
  EXPECT_FALSE(p.data_ids.contains(props::PropertyDataId::Icon));
  EXPECT_EQ(p.data_ids.size(), 1u);
  p.apply_raw_iid(2, 7);
  p.apply_raw_iid(2, 0);
  p.apply_raw_iid(3, 0);
  EXPECT_TRUE(p.instance_ids.empty());
  // Zero is an ordinary value for the other kinds.
  p.apply_raw_int(1, 0);
  p.apply_raw_int64(1, 0);
  p.apply_raw_float(1, 0.0);
  p.apply_raw_bool(1, false);
  EXPECT_EQ(p.ints.size() + p.int64s.size() + p.floats.size() + p.bools.size(), 4u);
}

TEST(PropertyStorage, UnknownVariantsResolveAgainOrAreDiscarded) {
  namespace pu = props::property_update;
  WorldObjectProperties p;
  // A code that does resolve is applied as the known variant, removal rules included.
  p.apply(pu::UnknownString{1, "Name"});
  p.apply(pu::UnknownDataId{8, 0x06000001});
  p.apply(pu::UnknownInt{390, 4});
  p.apply(pu::UnknownInt64{1, 5});
  p.apply(pu::UnknownBool{0, true});
  p.apply(pu::UnknownFloat{8004, 1.0});
  p.apply(pu::UnknownInstanceId{8000, 9});
  EXPECT_EQ(total_entries(p), 7u);
  p.apply(pu::UnknownString{1, ""});
  p.apply(pu::UnknownDataId{8, 0});
  p.apply(pu::UnknownInstanceId{8000, 0});
  EXPECT_TRUE(p.strings.empty());
  EXPECT_TRUE(p.data_ids.empty());
  EXPECT_TRUE(p.instance_ids.empty());
  // Codes that do not resolve are dropped.
  WorldObjectProperties q;
  q.apply(pu::UnknownInt{391, 1});
  q.apply(pu::UnknownInt64{9, 1});
  q.apply(pu::UnknownBool{131, true});
  q.apply(pu::UnknownFloat{8005, 1.0});
  q.apply(pu::UnknownString{8030, "x"});
  q.apply(pu::UnknownDataId{8004, 1});
  q.apply(pu::UnknownInstanceId{8001, 1});
  EXPECT_EQ(total_entries(q), 0u);
}

TEST(PropertyStorage, KnownVariantsApplyDirectly) {
  namespace pu = props::property_update;
  WorldObjectProperties p;
  p.apply(pu::String{props::PropertyString::Name, "Lantern"});
  p.apply(pu::DataId{props::PropertyDataId::Icon, 0x06000002});
  EXPECT_EQ(p.strings.at(props::PropertyString::Name), "Lantern");
  EXPECT_EQ(p.data_ids.at(props::PropertyDataId::Icon), 0x06000002u);
  p.apply(pu::String{props::PropertyString::Name, ""});
  p.apply(pu::DataId{props::PropertyDataId::Icon, 0});
  EXPECT_EQ(total_entries(p), 0u);
}

TEST(PropertyStorage, MapsKeepAscendingKeyOrder) {
  WorldObjectProperties p;
  for (std::uint32_t code : {9015u, 3u, 8030u, 1u, 390u}) p.apply_raw_int(code, 1);
  std::vector<std::uint32_t> order;
  for (const auto& [k, v] : p.ints) order.push_back(keys::ints::to_repr(k));
  EXPECT_EQ(order, (std::vector<std::uint32_t>{1, 3, 390, 8030, 9015}));
}

// Any sequence of raw applications leaves only members, no empty string and no zero ID.
TEST(PropertyStorage, InvariantsHoldAfterRandomRawApplications) {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  auto next = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  // Codes near the range edges, so that members and non-members both come up often.
  const std::vector<std::uint32_t> pool = {0, 1, 2, 7, 8, 9, 45, 46, 52, 53, 61, 62, 130, 131, 171, 172, 390, 391,
                                           7999, 8000, 8001, 8004, 8005, 8008, 8018, 8019, 8030, 8031, 8044, 8045,
                                           9001, 9007, 9008, 9010, 9015, 9016, UINT32_MAX};
  WorldObjectProperties p;
  for (int i = 0; i < 5000; ++i) {
    const std::uint32_t code = pool[next() % pool.size()];
    const std::uint32_t small = static_cast<std::uint32_t>(next() % 3);  // 0 often
    switch (next() % 7) {
      case 0: p.apply_raw_int(code, static_cast<std::int32_t>(small)); break;
      case 1: p.apply_raw_int64(code, small); break;
      case 2: p.apply_raw_bool(code, small != 0); break;
      case 3: p.apply_raw_float(code, small * 0.5); break;
      case 4: p.apply_raw_string(code, std::string(small, 'a')); break;
      case 5: p.apply_raw_did(code, small); break;
      case 6: p.apply_raw_iid(code, small); break;
    }
  }
  for (const auto& [k, v] : p.ints) EXPECT_TRUE(keys::ints::is_member(keys::ints::to_repr(k)));
  for (const auto& [k, v] : p.int64s) EXPECT_TRUE(keys::int64s::is_member(keys::int64s::to_repr(k)));
  for (const auto& [k, v] : p.bools) EXPECT_TRUE(keys::bools::is_member(keys::bools::to_repr(k)));
  for (const auto& [k, v] : p.floats) EXPECT_TRUE(keys::floats::is_member(keys::floats::to_repr(k)));
  for (const auto& [k, v] : p.strings) {
    EXPECT_TRUE(keys::strings::is_member(keys::strings::to_repr(k)));
    EXPECT_FALSE(v.empty());
  }
  for (const auto& [k, v] : p.data_ids) {
    EXPECT_TRUE(keys::data_ids::is_member(keys::data_ids::to_repr(k)));
    EXPECT_NE(v, 0u);
  }
  for (const auto& [k, v] : p.instance_ids) {
    EXPECT_TRUE(keys::instance_ids::is_member(keys::instance_ids::to_repr(k)));
    EXPECT_NE(v, 0u);
  }
  EXPECT_GT(total_entries(p), 0u);
}

}  // namespace
