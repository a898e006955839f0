// The data behind CefValue and friends: a tree of values in which dictionaries,
// lists and binaries are heap nodes, so that CEF objects can keep referring to
// a node inside its parent. Each node knows the container holding it; a node
// is reachable (and a reference to it valid) while its chain of parents ends
// in a root that a live CEF object owns.
#ifndef CEF_SRC_CORE_VALUE_TREE_H_
#define CEF_SRC_CORE_VALUE_TREE_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace cef_internal {

struct Node {
  Node* parent = nullptr;  // the container holding this node; null for roots
  bool held_root = false;  // a root owned by a live CEF object

  bool IsAttached() const {
    const Node* n = this;
    while (n->parent)
      n = n->parent;
    return n->held_root;
  }
  const Node* Root() const {
    const Node* n = this;
    while (n->parent)
      n = n->parent;
    return n;
  }
};

struct BinaryNode;
struct DictNode;
struct ListNode;

// One value. Containers are held through shared pointers so that CEF
// reference objects can keep a node alive; the tree itself owns each node
// exactly once. Moves leave the source null; copies are deep (Clone).
class Value {
 public:
  enum class Kind { kNull, kBool, kInt, kDouble, kString, kBinary, kDict, kList };

  Value() = default;
  explicit Value(bool v) : data_(v) {}
  explicit Value(int v) : data_(v) {}
  // A value never holds NaN or infinity: those are stored as 0.0.
  explicit Value(double v);
  explicit Value(std::string v) : data_(std::move(v)) {}
  explicit Value(std::shared_ptr<BinaryNode> n) : data_(std::move(n)) {}
  explicit Value(std::shared_ptr<DictNode> n) : data_(std::move(n)) {}
  explicit Value(std::shared_ptr<ListNode> n) : data_(std::move(n)) {}

  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  Value(Value&& other) noexcept : data_(std::move(other.data_)) { other.data_ = std::monostate(); }
  Value& operator=(Value&& other) noexcept;
  ~Value() { DetachNode(); }

  Kind kind() const { return static_cast<Kind>(data_.index()); }
  bool is_container() const { return kind() >= Kind::kBinary; }

  // Typed reads; a mismatch gives the type's default.
  bool GetBool() const;
  int GetInt() const;
  double GetDouble() const;
  const std::string& GetString() const;
  const std::shared_ptr<BinaryNode>& binary() const;
  const std::shared_ptr<DictNode>& dict() const;
  const std::shared_ptr<ListNode>& list() const;
  Node* node() const;

  // Deep copy; the copied nodes have no parent yet.
  Value Clone() const;

 private:
  // The held node leaves its container.
  void DetachNode();

  std::variant<std::monostate,
               bool,
               int,
               double,
               std::string,
               std::shared_ptr<BinaryNode>,
               std::shared_ptr<DictNode>,
               std::shared_ptr<ListNode>>
      data_;
};

struct BinaryNode : Node {
  std::vector<unsigned char> bytes;
};

// Keys sorted by byte value of their UTF-8 form, as Chromium's dictionaries.
struct DictNode : Node {
  using Map = std::map<std::string, Value, std::less<>>;
  Map items;

  // Stores |value| under |key| (replacing and detaching any previous value)
  // and returns the stored value.
  Value& Set(std::string key, Value value);
  const Value* Find(std::string_view key) const;
};

struct ListNode : Node {
  std::vector<Value> items;

  // Stores |value| at |index|, growing the list with nulls as needed.
  Value& Set(size_t index, Value value);
};

std::shared_ptr<DictNode> CloneDict(const DictNode& src);
std::shared_ptr<ListNode> CloneList(const ListNode& src);
std::shared_ptr<BinaryNode> CloneBinary(const BinaryNode& src);

// Removes empty dictionaries from |dict| at every dictionary depth, bottom up
// (a dictionary left empty by the pruning goes too). Lists are left as they
// are, including dictionaries inside them.
void PruneEmptyDicts(DictNode& dict);

// Deep equality: same kinds, same content.
bool Equals(const Value& a, const Value& b);
bool Equals(const DictNode& a, const DictNode& b);
bool Equals(const ListNode& a, const ListNode& b);
bool Equals(const BinaryNode& a, const BinaryNode& b);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_VALUE_TREE_H_
