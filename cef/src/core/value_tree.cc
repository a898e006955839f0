#include "core/value_tree.h"

#include <cmath>

namespace cef_internal {

namespace {

const std::string& EmptyString() {
  static const std::string* empty = new std::string();
  return *empty;
}

template <typename T>
const std::shared_ptr<T>& NullNode() {
  static const std::shared_ptr<T>* null = new std::shared_ptr<T>();
  return *null;
}

void AdoptInto(Value& value, Node* parent) {
  if (Node* n = value.node())
    n->parent = parent;
}

}  // namespace

Value::Value(double v) : data_(std::isfinite(v) ? v : 0.0) {}

Value& Value::operator=(Value&& other) noexcept {
  if (this != &other) {
    DetachNode();
    data_ = std::move(other.data_);
    other.data_ = std::monostate();
  }
  return *this;
}

void Value::DetachNode() {
  if (Node* n = node())
    n->parent = nullptr;
}

bool Value::GetBool() const {
  const bool* v = std::get_if<bool>(&data_);
  return v ? *v : false;
}

int Value::GetInt() const {
  const int* v = std::get_if<int>(&data_);
  return v ? *v : 0;
}

double Value::GetDouble() const {
  const double* v = std::get_if<double>(&data_);
  return v ? *v : 0.0;
}

const std::string& Value::GetString() const {
  const std::string* v = std::get_if<std::string>(&data_);
  return v ? *v : EmptyString();
}

const std::shared_ptr<BinaryNode>& Value::binary() const {
  auto* v = std::get_if<std::shared_ptr<BinaryNode>>(&data_);
  return v ? *v : NullNode<BinaryNode>();
}

const std::shared_ptr<DictNode>& Value::dict() const {
  auto* v = std::get_if<std::shared_ptr<DictNode>>(&data_);
  return v ? *v : NullNode<DictNode>();
}

const std::shared_ptr<ListNode>& Value::list() const {
  auto* v = std::get_if<std::shared_ptr<ListNode>>(&data_);
  return v ? *v : NullNode<ListNode>();
}

Node* Value::node() const {
  switch (kind()) {
    case Kind::kBinary:
      return binary().get();
    case Kind::kDict:
      return dict().get();
    case Kind::kList:
      return list().get();
    default:
      return nullptr;
  }
}

Value Value::Clone() const {
  switch (kind()) {
    case Kind::kNull:
      return Value();
    case Kind::kBool:
      return Value(GetBool());
    case Kind::kInt:
      return Value(GetInt());
    case Kind::kDouble:
      return Value(GetDouble());
    case Kind::kString:
      return Value(GetString());
    case Kind::kBinary:
      return binary() ? Value(CloneBinary(*binary())) : Value();
    case Kind::kDict:
      return dict() ? Value(CloneDict(*dict())) : Value();
    case Kind::kList:
      return list() ? Value(CloneList(*list())) : Value();
  }
  return Value();
}

Value& DictNode::Set(std::string key, Value value) {
  AdoptInto(value, this);
  auto it = items.find(key);
  if (it != items.end()) {
    it->second = std::move(value);
    return it->second;
  }
  return items.emplace_hint(it, std::move(key), std::move(value))->second;
}

const Value* DictNode::Find(std::string_view key) const {
  auto it = items.find(key);
  return it == items.end() ? nullptr : &it->second;
}

Value& ListNode::Set(size_t index, Value value) {
  AdoptInto(value, this);
  if (index >= items.size())
    items.resize(index + 1);
  items[index] = std::move(value);
  return items[index];
}

std::shared_ptr<DictNode> CloneDict(const DictNode& src) {
  auto copy = std::make_shared<DictNode>();
  auto hint = copy->items.end();
  for (const auto& [key, value] : src.items) {
    hint = copy->items.emplace_hint(hint, key, value.Clone());
    AdoptInto(hint->second, copy.get());
    ++hint;
  }
  return copy;
}

std::shared_ptr<ListNode> CloneList(const ListNode& src) {
  auto copy = std::make_shared<ListNode>();
  copy->items.reserve(src.items.size());
  for (const Value& value : src.items) {
    copy->items.push_back(value.Clone());
    AdoptInto(copy->items.back(), copy.get());
  }
  return copy;
}

std::shared_ptr<BinaryNode> CloneBinary(const BinaryNode& src) {
  auto copy = std::make_shared<BinaryNode>();
  copy->bytes = src.bytes;
  return copy;
}

void PruneEmptyDicts(DictNode& dict) {
  for (auto it = dict.items.begin(); it != dict.items.end();) {
    if (it->second.kind() == Value::Kind::kDict && it->second.dict()) {
      DictNode& child = *it->second.dict();
      PruneEmptyDicts(child);
      if (child.items.empty()) {
        it = dict.items.erase(it);
        continue;
      }
    }
    ++it;
  }
}

bool Equals(const Value& a, const Value& b) {
  if (a.kind() != b.kind())
    return false;
  switch (a.kind()) {
    case Value::Kind::kNull:
      return true;
    case Value::Kind::kBool:
      return a.GetBool() == b.GetBool();
    case Value::Kind::kInt:
      return a.GetInt() == b.GetInt();
    case Value::Kind::kDouble:
      return a.GetDouble() == b.GetDouble();
    case Value::Kind::kString:
      return a.GetString() == b.GetString();
    case Value::Kind::kBinary:
      return Equals(*a.binary(), *b.binary());
    case Value::Kind::kDict:
      return Equals(*a.dict(), *b.dict());
    case Value::Kind::kList:
      return Equals(*a.list(), *b.list());
  }
  return false;
}

bool Equals(const DictNode& a, const DictNode& b) {
  if (&a == &b)
    return true;
  if (a.items.size() != b.items.size())
    return false;
  for (auto ia = a.items.begin(), ib = b.items.begin(); ia != a.items.end(); ++ia, ++ib) {
    if (ia->first != ib->first || !Equals(ia->second, ib->second))
      return false;
  }
  return true;
}

bool Equals(const ListNode& a, const ListNode& b) {
  if (&a == &b)
    return true;
  if (a.items.size() != b.items.size())
    return false;
  for (size_t i = 0; i < a.items.size(); ++i) {
    if (!Equals(a.items[i], b.items[i]))
      return false;
  }
  return true;
}

bool Equals(const BinaryNode& a, const BinaryNode& b) {
  return a.bytes == b.bytes;
}

}  // namespace cef_internal
