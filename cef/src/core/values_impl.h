// Implementations of CefValue, CefBinaryValue, CefDictionaryValue and
// CefListValue over the value tree, plus the bridges the JSON code and other
// parts of the stand-in use.
#ifndef CEF_SRC_CORE_VALUES_IMPL_H_
#define CEF_SRC_CORE_VALUES_IMPL_H_

#include <memory>
#include <mutex>

#include "core/value_tree.h"
#include "include/cef_values.h"

namespace cef_internal {

// Values may be used from any thread. One lock serialises every operation on
// every value tree: operations are short, never call out, and a single lock
// needs no bookkeeping when subtrees move between trees. Recursive because
// operations call one another.
std::recursive_mutex& ValuesLock();
using ValuesGuard = std::lock_guard<std::recursive_mutex>;

// A binary, dictionary or list object: either the owner of a root node, or a
// reference to a node inside another object's tree.
template <typename NodeT>
class ContainerHandle {
 public:
  ContainerHandle(std::shared_ptr<NodeT> node, bool reference, bool read_only)
      : node_(std::move(node)), reference_(reference), read_only_(read_only) {
    if (!reference_ && node_)
      node_->held_root = true;
  }
  ~ContainerHandle() {
    // Dropping the last hold on a node destroys its subtree, which edits the
    // parent links other threads may be reading.
    ValuesGuard guard(ValuesLock());
    if (!reference_ && node_)
      node_->held_root = false;
    node_.reset();
  }

  // The node while it is reachable, else null.
  NodeT* live() const { return node_ && node_->IsAttached() ? node_.get() : nullptr; }
  NodeT* writable() const { return read_only_ ? nullptr : live(); }
  bool reference() const { return reference_; }
  bool read_only() const { return read_only_; }
  const std::shared_ptr<NodeT>& node() const { return node_; }

  // Produces the node to store inside |target|'s tree: the owner gives its
  // node away (and becomes invalid); a reference is copied. Null when this
  // object is invalid or moving would put a tree inside itself.
  std::shared_ptr<NodeT> TakeOrCopy(const Node* target, std::shared_ptr<NodeT> (*clone)(const NodeT&)) {
    NodeT* node = live();
    if (!node)
      return nullptr;
    if (reference_)
      return clone(*node);
    if (target && target->Root() == node)
      return nullptr;
    std::shared_ptr<NodeT> taken = std::move(node_);
    taken->held_root = false;
    return taken;
  }

 private:
  std::shared_ptr<NodeT> node_;
  bool reference_;
  bool read_only_;
};

class CefBinaryValueImpl : public CefBinaryValue {
 public:
  CefBinaryValueImpl(std::shared_ptr<BinaryNode> node, bool reference) : handle_(std::move(node), reference, true) {}

  ContainerHandle<BinaryNode>& handle() { return handle_; }

  bool IsValid() override;
  bool IsOwned() override;
  bool IsSame(CefRefPtr<CefBinaryValue> that) override;
  bool IsEqual(CefRefPtr<CefBinaryValue> that) override;
  CefRefPtr<CefBinaryValue> Copy() override;
  const void* GetRawData() override;
  size_t GetSize() override;
  size_t GetData(void* buffer, size_t buffer_size, size_t data_offset) override;

 private:
  ContainerHandle<BinaryNode> handle_;
  IMPLEMENT_REFCOUNTING(CefBinaryValueImpl);
};

class CefDictionaryValueImpl : public CefDictionaryValue {
 public:
  CefDictionaryValueImpl(std::shared_ptr<DictNode> node, bool reference, bool read_only)
      : handle_(std::move(node), reference, read_only) {}

  ContainerHandle<DictNode>& handle() { return handle_; }

  bool IsValid() override;
  bool IsOwned() override;
  bool IsReadOnly() override;
  bool IsSame(CefRefPtr<CefDictionaryValue> that) override;
  bool IsEqual(CefRefPtr<CefDictionaryValue> that) override;
  CefRefPtr<CefDictionaryValue> Copy(bool exclude_empty_children) override;
  size_t GetSize() override;
  bool Clear() override;
  bool HasKey(const CefString& key) override;
  bool GetKeys(KeyList& keys) override;
  bool Remove(const CefString& key) override;
  CefValueType GetType(const CefString& key) override;
  CefRefPtr<CefValue> GetValue(const CefString& key) override;
  bool GetBool(const CefString& key) override;
  int GetInt(const CefString& key) override;
  double GetDouble(const CefString& key) override;
  CefString GetString(const CefString& key) override;
  CefRefPtr<CefBinaryValue> GetBinary(const CefString& key) override;
  CefRefPtr<CefDictionaryValue> GetDictionary(const CefString& key) override;
  CefRefPtr<CefListValue> GetList(const CefString& key) override;
  bool SetValue(const CefString& key, CefRefPtr<CefValue> value) override;
  bool SetNull(const CefString& key) override;
  bool SetBool(const CefString& key, bool value) override;
  bool SetInt(const CefString& key, int value) override;
  bool SetDouble(const CefString& key, double value) override;
  bool SetString(const CefString& key, const CefString& value) override;
  bool SetBinary(const CefString& key, CefRefPtr<CefBinaryValue> value) override;
  bool SetDictionary(const CefString& key, CefRefPtr<CefDictionaryValue> value) override;
  bool SetList(const CefString& key, CefRefPtr<CefListValue> value) override;

 private:
  const Value* Find(const CefString& key);
  bool Store(const CefString& key, Value value);

  ContainerHandle<DictNode> handle_;
  IMPLEMENT_REFCOUNTING(CefDictionaryValueImpl);
};

class CefListValueImpl : public CefListValue {
 public:
  CefListValueImpl(std::shared_ptr<ListNode> node, bool reference, bool read_only)
      : handle_(std::move(node), reference, read_only) {}

  ContainerHandle<ListNode>& handle() { return handle_; }

  bool IsValid() override;
  bool IsOwned() override;
  bool IsReadOnly() override;
  bool IsSame(CefRefPtr<CefListValue> that) override;
  bool IsEqual(CefRefPtr<CefListValue> that) override;
  CefRefPtr<CefListValue> Copy() override;
  bool SetSize(size_t size) override;
  size_t GetSize() override;
  bool Clear() override;
  bool Remove(size_t index) override;
  CefValueType GetType(size_t index) override;
  CefRefPtr<CefValue> GetValue(size_t index) override;
  bool GetBool(size_t index) override;
  int GetInt(size_t index) override;
  double GetDouble(size_t index) override;
  CefString GetString(size_t index) override;
  CefRefPtr<CefBinaryValue> GetBinary(size_t index) override;
  CefRefPtr<CefDictionaryValue> GetDictionary(size_t index) override;
  CefRefPtr<CefListValue> GetList(size_t index) override;
  bool SetValue(size_t index, CefRefPtr<CefValue> value) override;
  bool SetNull(size_t index) override;
  bool SetBool(size_t index, bool value) override;
  bool SetInt(size_t index, int value) override;
  bool SetDouble(size_t index, double value) override;
  bool SetString(size_t index, const CefString& value) override;
  bool SetBinary(size_t index, CefRefPtr<CefBinaryValue> value) override;
  bool SetDictionary(size_t index, CefRefPtr<CefDictionaryValue> value) override;
  bool SetList(size_t index, CefRefPtr<CefListValue> value) override;

 private:
  const Value* Find(size_t index);
  bool Store(size_t index, Value value);

  ContainerHandle<ListNode> handle_;
  IMPLEMENT_REFCOUNTING(CefListValueImpl);
};

// What a CefValue currently holds, for readers such as the JSON writer.
// Exactly one member is set for a valid value; none when it is invalid. Hold
// ValuesLock() for as long as the view is used.
struct ValueView {
  const Value* scalar = nullptr;
  const BinaryNode* binary = nullptr;
  const DictNode* dict = nullptr;
  const ListNode* list = nullptr;
};
ValueView ViewOf(CefValue* value);

// Wraps a value tree (for example a parse result) in a new, unowned CefValue.
CefRefPtr<CefValue> WrapValue(Value value);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_VALUES_IMPL_H_
