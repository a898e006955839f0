// CefValue, CefBinaryValue, CefDictionaryValue and CefListValue.
#include <algorithm>
#include <climits>
#include <cstring>

#include "core/values_impl.h"

namespace cef_internal {

std::recursive_mutex& ValuesLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex();
  return *lock;
}

namespace {

// Lists never grow past what CEF's C API can index; a larger index is a caller
// error that would otherwise exhaust memory.
constexpr size_t kMaxListIndex = INT_MAX - 1;

CefValueType TypeOf(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::kNull:
      return VTYPE_NULL;
    case Value::Kind::kBool:
      return VTYPE_BOOL;
    case Value::Kind::kInt:
      return VTYPE_INT;
    case Value::Kind::kDouble:
      return VTYPE_DOUBLE;
    case Value::Kind::kString:
      return VTYPE_STRING;
    case Value::Kind::kBinary:
      return VTYPE_BINARY;
    case Value::Kind::kDict:
      return VTYPE_DICTIONARY;
    case Value::Kind::kList:
      return VTYPE_LIST;
  }
  return VTYPE_INVALID;
}

CefRefPtr<CefBinaryValue> BinaryRef(const Value* value) {
  if (!value || value->kind() != Value::Kind::kBinary)
    return nullptr;
  return new CefBinaryValueImpl(value->binary(), true);
}

CefRefPtr<CefDictionaryValue> DictRef(const Value* value, bool read_only) {
  if (!value || value->kind() != Value::Kind::kDict)
    return nullptr;
  return new CefDictionaryValueImpl(value->dict(), true, read_only);
}

CefRefPtr<CefListValue> ListRef(const Value* value, bool read_only) {
  if (!value || value->kind() != Value::Kind::kList)
    return nullptr;
  return new CefListValueImpl(value->list(), true, read_only);
}

// Takes the data of a complex object for storing inside |target|: moved when
// the object owns it, copied when it is itself a reference.
bool TakeBinary(CefRefPtr<CefBinaryValue> value, const Node* target, Value* out) {
  auto* impl = dynamic_cast<CefBinaryValueImpl*>(value.get());
  if (!impl)
    return false;
  auto node = impl->handle().TakeOrCopy(target, &CloneBinary);
  if (!node)
    return false;
  *out = Value(std::move(node));
  return true;
}

bool TakeDict(CefRefPtr<CefDictionaryValue> value, const Node* target, Value* out) {
  auto* impl = dynamic_cast<CefDictionaryValueImpl*>(value.get());
  if (!impl)
    return false;
  auto node = impl->handle().TakeOrCopy(target, &CloneDict);
  if (!node)
    return false;
  *out = Value(std::move(node));
  return true;
}

bool TakeList(CefRefPtr<CefListValue> value, const Node* target, Value* out) {
  auto* impl = dynamic_cast<CefListValueImpl*>(value.get());
  if (!impl)
    return false;
  auto node = impl->handle().TakeOrCopy(target, &CloneList);
  if (!node)
    return false;
  *out = Value(std::move(node));
  return true;
}

}  // namespace

// CefValue ------------------------------------------------------------------

class CefValueImpl : public CefValue {
 public:
  CefValueImpl() = default;
  explicit CefValueImpl(Value scalar) : scalar_(std::move(scalar)) {}

  // Complex members are held by reference; the scalar otherwise.
  CefRefPtr<CefBinaryValueImpl> binary_;
  CefRefPtr<CefDictionaryValueImpl> dict_;
  CefRefPtr<CefListValueImpl> list_;
  Value scalar_;

  void Reset() {
    binary_ = nullptr;
    dict_ = nullptr;
    list_ = nullptr;
    scalar_ = Value();
  }

  ValueView View() {
    ValueView view;
    if (binary_)
      view.binary = binary_->handle().live();
    else if (dict_)
      view.dict = dict_->handle().live();
    else if (list_)
      view.list = list_->handle().live();
    else
      view.scalar = &scalar_;
    return view;
  }

  // Produces what a container stores for this value, given the container's
  // node |target|. Complex data is moved or copied as for the Set* methods.
  bool TakeForStore(const Node* target, Value* out) {
    if (binary_)
      return TakeBinary(binary_.get(), target, out);
    if (dict_)
      return TakeDict(dict_.get(), target, out);
    if (list_)
      return TakeList(list_.get(), target, out);
    *out = scalar_.Clone();
    return true;
  }

  // After storing, this value refers to the stored data.
  void Rebind(const Value& stored, bool read_only) {
    switch (stored.kind()) {
      case Value::Kind::kBinary:
        binary_ = new CefBinaryValueImpl(stored.binary(), true);
        break;
      case Value::Kind::kDict:
        dict_ = new CefDictionaryValueImpl(stored.dict(), true, read_only);
        break;
      case Value::Kind::kList:
        list_ = new CefListValueImpl(stored.list(), true, read_only);
        break;
      default:
        break;
    }
  }

  bool IsValid() override {
    ValuesGuard guard(ValuesLock());
    if (binary_)
      return binary_->IsValid();
    if (dict_)
      return dict_->IsValid();
    if (list_)
      return list_->IsValid();
    return true;
  }
  bool IsOwned() override {
    ValuesGuard guard(ValuesLock());
    if (binary_)
      return binary_->IsOwned();
    if (dict_)
      return dict_->IsOwned();
    if (list_)
      return list_->IsOwned();
    return false;
  }
  bool IsReadOnly() override {
    ValuesGuard guard(ValuesLock());
    if (dict_)
      return dict_->IsReadOnly();
    if (list_)
      return list_->IsReadOnly();
    return false;
  }
  bool IsSame(CefRefPtr<CefValue> that) override {
    ValuesGuard guard(ValuesLock());
    auto* other = dynamic_cast<CefValueImpl*>(that.get());
    if (!other)
      return false;
    if (other == this)
      return true;
    ValueView a = View();
    ValueView b = other->View();
    if (a.binary || a.dict || a.list)
      return a.binary == b.binary && a.dict == b.dict && a.list == b.list;
    return false;
  }
  bool IsEqual(CefRefPtr<CefValue> that) override {
    ValuesGuard guard(ValuesLock());
    auto* other = dynamic_cast<CefValueImpl*>(that.get());
    if (!other)
      return false;
    ValueView a = View();
    ValueView b = other->View();
    if (a.scalar && b.scalar)
      return Equals(*a.scalar, *b.scalar);
    if (a.dict && b.dict)
      return Equals(*a.dict, *b.dict);
    if (a.list && b.list)
      return Equals(*a.list, *b.list);
    if (a.binary && b.binary)
      return Equals(*a.binary, *b.binary);
    return false;
  }
  CefRefPtr<CefValue> Copy() override {
    ValuesGuard guard(ValuesLock());
    ValueView view = View();
    if (view.binary)
      return WrapValue(Value(CloneBinary(*view.binary)));
    if (view.dict)
      return WrapValue(Value(CloneDict(*view.dict)));
    if (view.list)
      return WrapValue(Value(CloneList(*view.list)));
    if (view.scalar)
      return WrapValue(view.scalar->Clone());
    return CefValue::Create();
  }

  CefValueType GetType() override {
    ValuesGuard guard(ValuesLock());
    if (binary_)
      return VTYPE_BINARY;
    if (dict_)
      return VTYPE_DICTIONARY;
    if (list_)
      return VTYPE_LIST;
    return TypeOf(scalar_);
  }

  bool GetBool() override {
    ValuesGuard guard(ValuesLock());
    return scalar_.GetBool();
  }
  int GetInt() override {
    ValuesGuard guard(ValuesLock());
    return scalar_.GetInt();
  }
  double GetDouble() override {
    ValuesGuard guard(ValuesLock());
    return scalar_.GetDouble();
  }
  CefString GetString() override {
    ValuesGuard guard(ValuesLock());
    return CefString(scalar_.GetString());
  }
  CefRefPtr<CefBinaryValue> GetBinary() override {
    ValuesGuard guard(ValuesLock());
    return binary_.get();
  }
  CefRefPtr<CefDictionaryValue> GetDictionary() override {
    ValuesGuard guard(ValuesLock());
    return dict_.get();
  }
  CefRefPtr<CefListValue> GetList() override {
    ValuesGuard guard(ValuesLock());
    return list_.get();
  }

  bool SetNull() override {
    ValuesGuard guard(ValuesLock());
    Reset();
    return true;
  }
  bool SetBool(bool value) override {
    ValuesGuard guard(ValuesLock());
    Reset();
    scalar_ = Value(value);
    return true;
  }
  bool SetInt(int value) override {
    ValuesGuard guard(ValuesLock());
    Reset();
    scalar_ = Value(value);
    return true;
  }
  bool SetDouble(double value) override {
    ValuesGuard guard(ValuesLock());
    Reset();
    scalar_ = Value(value);
    return true;
  }
  bool SetString(const CefString& value) override {
    ValuesGuard guard(ValuesLock());
    Reset();
    scalar_ = Value(value.ToString());
    return true;
  }
  bool SetBinary(CefRefPtr<CefBinaryValue> value) override {
    ValuesGuard guard(ValuesLock());
    auto* impl = dynamic_cast<CefBinaryValueImpl*>(value.get());
    if (!impl || !impl->IsValid())
      return false;
    Reset();
    binary_ = impl;
    return true;
  }
  bool SetDictionary(CefRefPtr<CefDictionaryValue> value) override {
    ValuesGuard guard(ValuesLock());
    auto* impl = dynamic_cast<CefDictionaryValueImpl*>(value.get());
    if (!impl || !impl->IsValid())
      return false;
    Reset();
    dict_ = impl;
    return true;
  }
  bool SetList(CefRefPtr<CefListValue> value) override {
    ValuesGuard guard(ValuesLock());
    auto* impl = dynamic_cast<CefListValueImpl*>(value.get());
    if (!impl || !impl->IsValid())
      return false;
    Reset();
    list_ = impl;
    return true;
  }

 private:
  IMPLEMENT_REFCOUNTING(CefValueImpl);
};

namespace {

CefRefPtr<CefValue> ValueRef(const Value* value, bool read_only) {
  if (!value)
    return nullptr;
  CefRefPtr<CefValueImpl> result = new CefValueImpl();
  switch (value->kind()) {
    case Value::Kind::kBinary:
    case Value::Kind::kDict:
    case Value::Kind::kList:
      result->Rebind(*value, read_only);
      break;
    default:
      result->scalar_ = value->Clone();
      break;
  }
  return result.get();
}

bool StoreValue(CefRefPtr<CefValue> value, const Node* target, Value* out, CefValueImpl** impl) {
  *impl = dynamic_cast<CefValueImpl*>(value.get());
  return *impl && (*impl)->TakeForStore(target, out);
}

}  // namespace

ValueView ViewOf(CefValue* value) {
  ValuesGuard guard(ValuesLock());
  auto* impl = dynamic_cast<CefValueImpl*>(value);
  return impl ? impl->View() : ValueView();
}

CefRefPtr<CefValue> WrapValue(Value value) {
  CefRefPtr<CefValueImpl> result = new CefValueImpl();
  switch (value.kind()) {
    case Value::Kind::kBinary:
      result->binary_ = new CefBinaryValueImpl(value.binary(), false);
      break;
    case Value::Kind::kDict:
      result->dict_ = new CefDictionaryValueImpl(value.dict(), false, false);
      break;
    case Value::Kind::kList:
      result->list_ = new CefListValueImpl(value.list(), false, false);
      break;
    default:
      result->scalar_ = std::move(value);
      break;
  }
  return result.get();
}

// CefBinaryValue ------------------------------------------------------------

bool CefBinaryValueImpl::IsValid() {
  ValuesGuard guard(ValuesLock());
  return handle_.live() != nullptr;
}

bool CefBinaryValueImpl::IsOwned() {
  ValuesGuard guard(ValuesLock());
  return handle_.reference();
}

bool CefBinaryValueImpl::IsSame(CefRefPtr<CefBinaryValue> that) {
  ValuesGuard guard(ValuesLock());
  auto* other = dynamic_cast<CefBinaryValueImpl*>(that.get());
  return other && handle_.live() && handle_.live() == other->handle_.live();
}

bool CefBinaryValueImpl::IsEqual(CefRefPtr<CefBinaryValue> that) {
  ValuesGuard guard(ValuesLock());
  auto* other = dynamic_cast<CefBinaryValueImpl*>(that.get());
  if (!other || !handle_.live() || !other->handle_.live())
    return false;
  return Equals(*handle_.live(), *other->handle_.live());
}

CefRefPtr<CefBinaryValue> CefBinaryValueImpl::Copy() {
  ValuesGuard guard(ValuesLock());
  BinaryNode* node = handle_.live();
  if (!node)
    return nullptr;
  return new CefBinaryValueImpl(CloneBinary(*node), false);
}

const void* CefBinaryValueImpl::GetRawData() {
  ValuesGuard guard(ValuesLock());
  BinaryNode* node = handle_.live();
  return node && !node->bytes.empty() ? node->bytes.data() : nullptr;
}

size_t CefBinaryValueImpl::GetSize() {
  ValuesGuard guard(ValuesLock());
  BinaryNode* node = handle_.live();
  return node ? node->bytes.size() : 0;
}

size_t CefBinaryValueImpl::GetData(void* buffer, size_t buffer_size, size_t data_offset) {
  ValuesGuard guard(ValuesLock());
  BinaryNode* node = handle_.live();
  if (!node || !buffer || buffer_size == 0 || data_offset >= node->bytes.size())
    return 0;
  const size_t count = std::min(buffer_size, node->bytes.size() - data_offset);
  std::memcpy(buffer, node->bytes.data() + data_offset, count);
  return count;
}

// CefDictionaryValue --------------------------------------------------------

const Value* CefDictionaryValueImpl::Find(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  DictNode* node = handle_.live();
  return node ? node->Find(key.ToString()) : nullptr;
}

bool CefDictionaryValueImpl::Store(const CefString& key, Value value) {
  ValuesGuard guard(ValuesLock());
  DictNode* node = handle_.writable();
  if (!node)
    return false;
  node->Set(key.ToString(), std::move(value));
  return true;
}

bool CefDictionaryValueImpl::IsValid() {
  ValuesGuard guard(ValuesLock());
  return handle_.live() != nullptr;
}

bool CefDictionaryValueImpl::IsOwned() {
  ValuesGuard guard(ValuesLock());
  return handle_.reference();
}

bool CefDictionaryValueImpl::IsReadOnly() {
  ValuesGuard guard(ValuesLock());
  return handle_.read_only();
}

bool CefDictionaryValueImpl::IsSame(CefRefPtr<CefDictionaryValue> that) {
  ValuesGuard guard(ValuesLock());
  auto* other = dynamic_cast<CefDictionaryValueImpl*>(that.get());
  return other && handle_.live() && handle_.live() == other->handle_.live();
}

bool CefDictionaryValueImpl::IsEqual(CefRefPtr<CefDictionaryValue> that) {
  ValuesGuard guard(ValuesLock());
  auto* other = dynamic_cast<CefDictionaryValueImpl*>(that.get());
  if (!other || !handle_.live() || !other->handle_.live())
    return false;
  return Equals(*handle_.live(), *other->handle_.live());
}

CefRefPtr<CefDictionaryValue> CefDictionaryValueImpl::Copy(bool exclude_empty_children) {
  ValuesGuard guard(ValuesLock());
  DictNode* node = handle_.live();
  if (!node)
    return nullptr;
  auto copy = CloneDict(*node);
  if (exclude_empty_children)
    PruneEmptyDicts(*copy);
  return new CefDictionaryValueImpl(std::move(copy), false, false);
}

size_t CefDictionaryValueImpl::GetSize() {
  ValuesGuard guard(ValuesLock());
  DictNode* node = handle_.live();
  return node ? node->items.size() : 0;
}

bool CefDictionaryValueImpl::Clear() {
  ValuesGuard guard(ValuesLock());
  DictNode* node = handle_.writable();
  if (!node)
    return false;
  node->items.clear();
  return true;
}

bool CefDictionaryValueImpl::HasKey(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  return Find(key) != nullptr;
}

bool CefDictionaryValueImpl::GetKeys(KeyList& keys) {
  ValuesGuard guard(ValuesLock());
  DictNode* node = handle_.live();
  if (!node)
    return false;
  keys.reserve(keys.size() + node->items.size());
  for (const auto& item : node->items)
    keys.push_back(CefString(item.first));
  return true;
}

bool CefDictionaryValueImpl::Remove(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  DictNode* node = handle_.writable();
  if (!node)
    return false;
  auto it = node->items.find(key.ToString());
  if (it == node->items.end())
    return false;
  node->items.erase(it);
  return true;
}

CefValueType CefDictionaryValueImpl::GetType(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  const Value* value = Find(key);
  return value ? TypeOf(*value) : VTYPE_INVALID;
}

CefRefPtr<CefValue> CefDictionaryValueImpl::GetValue(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  return ValueRef(Find(key), handle_.read_only());
}

bool CefDictionaryValueImpl::GetBool(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  const Value* value = Find(key);
  return value ? value->GetBool() : false;
}

int CefDictionaryValueImpl::GetInt(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  const Value* value = Find(key);
  return value ? value->GetInt() : 0;
}

double CefDictionaryValueImpl::GetDouble(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  const Value* value = Find(key);
  return value ? value->GetDouble() : 0.0;
}

CefString CefDictionaryValueImpl::GetString(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  const Value* value = Find(key);
  return value ? CefString(value->GetString()) : CefString();
}

CefRefPtr<CefBinaryValue> CefDictionaryValueImpl::GetBinary(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  return BinaryRef(Find(key));
}

CefRefPtr<CefDictionaryValue> CefDictionaryValueImpl::GetDictionary(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  return DictRef(Find(key), handle_.read_only());
}

CefRefPtr<CefListValue> CefDictionaryValueImpl::GetList(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  return ListRef(Find(key), handle_.read_only());
}

bool CefDictionaryValueImpl::SetValue(const CefString& key, CefRefPtr<CefValue> value) {
  ValuesGuard guard(ValuesLock());
  DictNode* node = handle_.writable();
  if (!node)
    return false;
  Value stored;
  CefValueImpl* impl;
  if (!StoreValue(value, node, &stored, &impl))
    return false;
  impl->Rebind(node->Set(key.ToString(), std::move(stored)), false);
  return true;
}

bool CefDictionaryValueImpl::SetNull(const CefString& key) {
  ValuesGuard guard(ValuesLock());
  return Store(key, Value());
}

bool CefDictionaryValueImpl::SetBool(const CefString& key, bool value) {
  ValuesGuard guard(ValuesLock());
  return Store(key, Value(value));
}

bool CefDictionaryValueImpl::SetInt(const CefString& key, int value) {
  ValuesGuard guard(ValuesLock());
  return Store(key, Value(value));
}

bool CefDictionaryValueImpl::SetDouble(const CefString& key, double value) {
  ValuesGuard guard(ValuesLock());
  return Store(key, Value(value));
}

bool CefDictionaryValueImpl::SetString(const CefString& key, const CefString& value) {
  ValuesGuard guard(ValuesLock());
  return Store(key, Value(value.ToString()));
}

bool CefDictionaryValueImpl::SetBinary(const CefString& key, CefRefPtr<CefBinaryValue> value) {
  ValuesGuard guard(ValuesLock());
  DictNode* node = handle_.writable();
  Value stored;
  if (!node || !TakeBinary(value, node, &stored))
    return false;
  node->Set(key.ToString(), std::move(stored));
  return true;
}

bool CefDictionaryValueImpl::SetDictionary(const CefString& key, CefRefPtr<CefDictionaryValue> value) {
  ValuesGuard guard(ValuesLock());
  DictNode* node = handle_.writable();
  Value stored;
  if (!node || !TakeDict(value, node, &stored))
    return false;
  node->Set(key.ToString(), std::move(stored));
  return true;
}

bool CefDictionaryValueImpl::SetList(const CefString& key, CefRefPtr<CefListValue> value) {
  ValuesGuard guard(ValuesLock());
  DictNode* node = handle_.writable();
  Value stored;
  if (!node || !TakeList(value, node, &stored))
    return false;
  node->Set(key.ToString(), std::move(stored));
  return true;
}

// CefListValue --------------------------------------------------------------

const Value* CefListValueImpl::Find(size_t index) {
  ValuesGuard guard(ValuesLock());
  ListNode* node = handle_.live();
  return node && index < node->items.size() ? &node->items[index] : nullptr;
}

bool CefListValueImpl::Store(size_t index, Value value) {
  ValuesGuard guard(ValuesLock());
  ListNode* node = handle_.writable();
  if (!node || index > kMaxListIndex)
    return false;
  node->Set(index, std::move(value));
  return true;
}

bool CefListValueImpl::IsValid() {
  ValuesGuard guard(ValuesLock());
  return handle_.live() != nullptr;
}

bool CefListValueImpl::IsOwned() {
  ValuesGuard guard(ValuesLock());
  return handle_.reference();
}

bool CefListValueImpl::IsReadOnly() {
  ValuesGuard guard(ValuesLock());
  return handle_.read_only();
}

bool CefListValueImpl::IsSame(CefRefPtr<CefListValue> that) {
  ValuesGuard guard(ValuesLock());
  auto* other = dynamic_cast<CefListValueImpl*>(that.get());
  return other && handle_.live() && handle_.live() == other->handle_.live();
}

bool CefListValueImpl::IsEqual(CefRefPtr<CefListValue> that) {
  ValuesGuard guard(ValuesLock());
  auto* other = dynamic_cast<CefListValueImpl*>(that.get());
  if (!other || !handle_.live() || !other->handle_.live())
    return false;
  return Equals(*handle_.live(), *other->handle_.live());
}

CefRefPtr<CefListValue> CefListValueImpl::Copy() {
  ValuesGuard guard(ValuesLock());
  ListNode* node = handle_.live();
  if (!node)
    return nullptr;
  return new CefListValueImpl(CloneList(*node), false, false);
}

bool CefListValueImpl::SetSize(size_t size) {
  ValuesGuard guard(ValuesLock());
  ListNode* node = handle_.writable();
  if (!node || size > kMaxListIndex + 1)
    return false;
  node->items.resize(size);
  return true;
}

size_t CefListValueImpl::GetSize() {
  ValuesGuard guard(ValuesLock());
  ListNode* node = handle_.live();
  return node ? node->items.size() : 0;
}

bool CefListValueImpl::Clear() {
  ValuesGuard guard(ValuesLock());
  ListNode* node = handle_.writable();
  if (!node)
    return false;
  node->items.clear();
  return true;
}

bool CefListValueImpl::Remove(size_t index) {
  ValuesGuard guard(ValuesLock());
  ListNode* node = handle_.writable();
  if (!node || index >= node->items.size())
    return false;
  node->items.erase(node->items.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

CefValueType CefListValueImpl::GetType(size_t index) {
  ValuesGuard guard(ValuesLock());
  const Value* value = Find(index);
  return value ? TypeOf(*value) : VTYPE_INVALID;
}

CefRefPtr<CefValue> CefListValueImpl::GetValue(size_t index) {
  ValuesGuard guard(ValuesLock());
  return ValueRef(Find(index), handle_.read_only());
}

bool CefListValueImpl::GetBool(size_t index) {
  ValuesGuard guard(ValuesLock());
  const Value* value = Find(index);
  return value ? value->GetBool() : false;
}

int CefListValueImpl::GetInt(size_t index) {
  ValuesGuard guard(ValuesLock());
  const Value* value = Find(index);
  return value ? value->GetInt() : 0;
}

double CefListValueImpl::GetDouble(size_t index) {
  ValuesGuard guard(ValuesLock());
  const Value* value = Find(index);
  return value ? value->GetDouble() : 0.0;
}

CefString CefListValueImpl::GetString(size_t index) {
  ValuesGuard guard(ValuesLock());
  const Value* value = Find(index);
  return value ? CefString(value->GetString()) : CefString();
}

CefRefPtr<CefBinaryValue> CefListValueImpl::GetBinary(size_t index) {
  ValuesGuard guard(ValuesLock());
  return BinaryRef(Find(index));
}

CefRefPtr<CefDictionaryValue> CefListValueImpl::GetDictionary(size_t index) {
  ValuesGuard guard(ValuesLock());
  return DictRef(Find(index), handle_.read_only());
}

CefRefPtr<CefListValue> CefListValueImpl::GetList(size_t index) {
  ValuesGuard guard(ValuesLock());
  return ListRef(Find(index), handle_.read_only());
}

bool CefListValueImpl::SetValue(size_t index, CefRefPtr<CefValue> value) {
  ValuesGuard guard(ValuesLock());
  ListNode* node = handle_.writable();
  if (!node || index > kMaxListIndex)
    return false;
  Value stored;
  CefValueImpl* impl;
  if (!StoreValue(value, node, &stored, &impl))
    return false;
  impl->Rebind(node->Set(index, std::move(stored)), false);
  return true;
}

bool CefListValueImpl::SetNull(size_t index) {
  ValuesGuard guard(ValuesLock());
  return Store(index, Value());
}

bool CefListValueImpl::SetBool(size_t index, bool value) {
  ValuesGuard guard(ValuesLock());
  return Store(index, Value(value));
}

bool CefListValueImpl::SetInt(size_t index, int value) {
  ValuesGuard guard(ValuesLock());
  return Store(index, Value(value));
}

bool CefListValueImpl::SetDouble(size_t index, double value) {
  ValuesGuard guard(ValuesLock());
  return Store(index, Value(value));
}

bool CefListValueImpl::SetString(size_t index, const CefString& value) {
  ValuesGuard guard(ValuesLock());
  return Store(index, Value(value.ToString()));
}

bool CefListValueImpl::SetBinary(size_t index, CefRefPtr<CefBinaryValue> value) {
  ValuesGuard guard(ValuesLock());
  ListNode* node = handle_.writable();
  Value stored;
  if (!node || index > kMaxListIndex || !TakeBinary(value, node, &stored))
    return false;
  node->Set(index, std::move(stored));
  return true;
}

bool CefListValueImpl::SetDictionary(size_t index, CefRefPtr<CefDictionaryValue> value) {
  ValuesGuard guard(ValuesLock());
  ListNode* node = handle_.writable();
  Value stored;
  if (!node || index > kMaxListIndex || !TakeDict(value, node, &stored))
    return false;
  node->Set(index, std::move(stored));
  return true;
}

bool CefListValueImpl::SetList(size_t index, CefRefPtr<CefListValue> value) {
  ValuesGuard guard(ValuesLock());
  ListNode* node = handle_.writable();
  Value stored;
  if (!node || index > kMaxListIndex || !TakeList(value, node, &stored))
    return false;
  node->Set(index, std::move(stored));
  return true;
}

}  // namespace cef_internal

// Factories -----------------------------------------------------------------

// static
CefRefPtr<CefValue> CefValue::Create() {
  return new cef_internal::CefValueImpl();
}

// static
CefRefPtr<CefBinaryValue> CefBinaryValue::Create(const void* data, size_t data_size) {
  if (!data || data_size == 0)
    return nullptr;
  auto node = std::make_shared<cef_internal::BinaryNode>();
  const auto* bytes = static_cast<const unsigned char*>(data);
  node->bytes.assign(bytes, bytes + data_size);
  return new cef_internal::CefBinaryValueImpl(std::move(node), false);
}

// static
CefRefPtr<CefDictionaryValue> CefDictionaryValue::Create() {
  return new cef_internal::CefDictionaryValueImpl(std::make_shared<cef_internal::DictNode>(), false, false);
}

// static
CefRefPtr<CefListValue> CefListValue::Create() {
  return new cef_internal::CefListValueImpl(std::make_shared<cef_internal::ListNode>(), false, false);
}
