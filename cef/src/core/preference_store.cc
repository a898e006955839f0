#include "core/preference_store.h"

#include <vector>

namespace cef_internal {

namespace {

// Splits "a.b.c" into its parts.
std::vector<std::string> SplitPath(const std::string& name) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t dot = name.find('.', start);
    parts.push_back(name.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) {
      break;
    }
    start = dot + 1;
  }
  return parts;
}

// Stores |value| under the dotted |name| inside |root|, creating the
// intermediate dictionaries.
void SetAtPath(CefRefPtr<CefDictionaryValue> root, const std::string& name, CefRefPtr<CefValue> value) {
  std::vector<std::string> parts = SplitPath(name);
  CefRefPtr<CefDictionaryValue> node = root;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (node->GetType(parts[i]) != VTYPE_DICTIONARY) {
      node->SetDictionary(parts[i], CefDictionaryValue::Create());
    }
    node = node->GetDictionary(parts[i]);
  }
  node->SetValue(parts.back(), value);
}

}  // namespace

const char* PreferenceTypeName(cef_value_type_t type) {
  switch (type) {
    case VTYPE_NULL:
      return "NULL";
    case VTYPE_BOOL:
      return "BOOLEAN";
    case VTYPE_INT:
      return "INTEGER";
    case VTYPE_DOUBLE:
      return "DOUBLE";
    case VTYPE_STRING:
      return "STRING";
    case VTYPE_BINARY:
      return "BINARY";
    case VTYPE_DICTIONARY:
      return "DICTIONARY";
    case VTYPE_LIST:
      return "LIST";
    default:
      return "UNKNOWN";
  }
}

PreferenceStore::PreferenceStore() = default;
PreferenceStore::~PreferenceStore() = default;

bool PreferenceStore::Register(const std::string& name, CefRefPtr<CefValue> default_value) {
  if (name.empty() || !default_value || !default_value->IsValid()) {
    return false;
  }
  const cef_value_type_t type = default_value->GetType();
  if (type == VTYPE_INVALID || type == VTYPE_NULL || type == VTYPE_BINARY) {
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (entries_.count(name)) {
    return false;
  }
  Entry& entry = entries_[name];
  entry.default_value = default_value->Copy();
  auto pending = pending_faults_.find(name);
  if (pending != pending_faults_.end()) {
    entry.faults = pending->second;
    pending_faults_.erase(pending);
  }
  return true;
}

bool PreferenceStore::Has(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.count(name) != 0;
}

CefRefPtr<CefValue> PreferenceStore::Get(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(name);
  if (it == entries_.end()) {
    return nullptr;
  }
  const Entry& entry = it->second;
  return (entry.user_value ? entry.user_value : entry.default_value)->Copy();
}

CefRefPtr<CefDictionaryValue> PreferenceStore::GetAll(bool include_defaults) const {
  CefRefPtr<CefDictionaryValue> all = CefDictionaryValue::Create();
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [name, entry] : entries_) {
    if (entry.user_value) {
      SetAtPath(all, name, entry.user_value->Copy());
    } else if (include_defaults) {
      SetAtPath(all, name, entry.default_value->Copy());
    }
  }
  return all;
}

bool PreferenceStore::CanSet(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(name);
  return it != entries_.end() && !it->second.faults.unsettable;
}

bool PreferenceStore::Set(const std::string& name, CefRefPtr<CefValue> value, std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(name);
  if (it == entries_.end()) {
    error = "Trying to modify an unregistered preference";
    return false;
  }
  Entry& entry = it->second;
  if (entry.faults.unsettable) {
    error = "Trying to modify a preference that is not user modifiable";
    return false;
  }
  if (!value) {
    // Back to the default.
    ++entry.writes;
    if (!entry.faults.drop_writes) {
      entry.user_value = nullptr;
    }
    return true;
  }
  if (!value->IsValid()) {
    error = "A valid value is required";
    return false;
  }
  const cef_value_type_t expected = entry.default_value->GetType();
  const cef_value_type_t given = value->GetType();
  if (expected != given) {
    error = std::string("Trying to set a preference of type ") + PreferenceTypeName(expected) + " to value of type " +
            PreferenceTypeName(given);
    return false;
  }
  if (entry.faults.fail_text) {
    error = *entry.faults.fail_text;
    return false;
  }
  ++entry.writes;
  if (!entry.faults.drop_writes) {
    entry.user_value = value->Copy();
  }
  return true;
}

int PreferenceStore::WriteCount(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(name);
  return it == entries_.end() ? 0 : it->second.writes;
}

void PreferenceStore::Unregister(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.erase(name);
}

void PreferenceStore::SetFaults(const std::string& name, const Faults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(name);
  if (it == entries_.end()) {
    pending_faults_[name] = faults;
  } else {
    it->second.faults = faults;
  }
}

PreferenceStore::Faults PreferenceStore::GetFaults(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = entries_.find(name);
  if (it != entries_.end()) {
    return it->second.faults;
  }
  auto pending = pending_faults_.find(name);
  return pending == pending_faults_.end() ? Faults() : pending->second;
}

}  // namespace cef_internal
