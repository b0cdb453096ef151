#include "quillmere_common/properties/storage.hpp"

#include <utility>

namespace quillmere_common::properties::storage {

namespace keys = property_keys;
namespace pu = property_update;

namespace {

template <class... Fs>
struct Overloaded : Fs... {
  using Fs::operator()...;
};

// Data IDs and instance IDs: 0 means "no value", so it clears the key.
template <class Map, class Key>
void store_id(Map& map, Key key, std::uint32_t value) {
  if (value == 0)
    map.erase(key);
  else
    map.insert_or_assign(key, value);
}

}  // namespace

void WorldObjectProperties::apply(PropertyUpdate update) {
  std::visit(Overloaded{
                 [&](pu::Int& u) { ints.insert_or_assign(u.key, u.value); },
                 [&](pu::Int64& u) { int64s.insert_or_assign(u.key, u.value); },
                 [&](pu::Bool& u) { bools.insert_or_assign(u.key, u.value); },
                 [&](pu::Float& u) { floats.insert_or_assign(u.key, u.value); },
                 [&](pu::String& u) {
                   if (u.value.empty())
                     strings.erase(u.key);
                   else
                     strings.insert_or_assign(u.key, std::move(u.value));
                 },
                 [&](pu::DataId& u) { store_id(data_ids, u.key, u.value); },
                 [&](pu::InstanceId& u) { store_id(instance_ids, u.key, u.value); },
                 [&](pu::UnknownInt& u) {
                   if (auto k = keys::ints::from_repr(u.code)) apply(pu::Int{*k, u.value});
                 },
                 [&](pu::UnknownInt64& u) {
                   if (auto k = keys::int64s::from_repr(u.code)) apply(pu::Int64{*k, u.value});
                 },
                 [&](pu::UnknownBool& u) {
                   if (auto k = keys::bools::from_repr(u.code)) apply(pu::Bool{*k, u.value});
                 },
                 [&](pu::UnknownFloat& u) {
                   if (auto k = keys::floats::from_repr(u.code)) apply(pu::Float{*k, u.value});
                 },
                 [&](pu::UnknownString& u) {
                   if (auto k = keys::strings::from_repr(u.code)) apply(pu::String{*k, std::move(u.value)});
                 },
                 [&](pu::UnknownDataId& u) {
                   if (auto k = keys::data_ids::from_repr(u.code)) apply(pu::DataId{*k, u.value});
                 },
                 [&](pu::UnknownInstanceId& u) {
                   if (auto k = keys::instance_ids::from_repr(u.code)) apply(pu::InstanceId{*k, u.value});
                 },
             },
             update);
}

void WorldObjectProperties::apply_raw_int(std::uint32_t code, std::int32_t value) {
  if (auto k = keys::ints::from_repr(code))
    apply(pu::Int{*k, value});
  else
    apply(pu::UnknownInt{code, value});
}

void WorldObjectProperties::apply_raw_int64(std::uint32_t code, std::int64_t value) {
  if (auto k = keys::int64s::from_repr(code))
    apply(pu::Int64{*k, value});
  else
    apply(pu::UnknownInt64{code, value});
}

void WorldObjectProperties::apply_raw_bool(std::uint32_t code, bool value) {
  if (auto k = keys::bools::from_repr(code))
    apply(pu::Bool{*k, value});
  else
    apply(pu::UnknownBool{code, value});
}

void WorldObjectProperties::apply_raw_float(std::uint32_t code, double value) {
  if (auto k = keys::floats::from_repr(code))
    apply(pu::Float{*k, value});
  else
    apply(pu::UnknownFloat{code, value});
}

void WorldObjectProperties::apply_raw_string(std::uint32_t code, std::string value) {
  if (auto k = keys::strings::from_repr(code))
    apply(pu::String{*k, std::move(value)});
  else
    apply(pu::UnknownString{code, std::move(value)});
}

void WorldObjectProperties::apply_raw_did(std::uint32_t code, std::uint32_t value) {
  if (auto k = keys::data_ids::from_repr(code))
    apply(pu::DataId{*k, value});
  else
    apply(pu::UnknownDataId{code, value});
}

void WorldObjectProperties::apply_raw_iid(std::uint32_t code, std::uint32_t value) {
  if (auto k = keys::instance_ids::from_repr(code))
    apply(pu::InstanceId{*k, value});
  else
    apply(pu::UnknownInstanceId{code, value});
}

}  // namespace quillmere_common::properties::storage
