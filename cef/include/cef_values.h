// Values: a variant (CefValue), a binary blob, a dictionary and a list.
//
// Dictionaries and lists own their children. A child obtained through one of
// the Get* accessors is a reference into its parent: edits go into the parent,
// and the reference becomes invalid (IsValid() false, every getter returns its
// default) once the child is removed or replaced, or the parent goes away.
// Passing an unowned container to a parent's Set* method moves its contents
// in and leaves the passed object invalid; an owned one is copied.
//
// Objects may be used on any thread, but not from several at once.
#ifndef CEF_INCLUDE_CEF_VALUES_H_
#define CEF_INCLUDE_CEF_VALUES_H_
#pragma once

#include <vector>

#include "include/cef_base.h"

class CefBinaryValue;
class CefDictionaryValue;
class CefListValue;

typedef cef_value_type_t CefValueType;

// A value of any type. Simple types (null, bool, int, double, string) are held
// by value; binary, dictionary and list values are held by reference.
/*--cef(source=library)--*/
class CefValue : public virtual CefBaseRefCounted {
 public:
  // Creates a new value of type VTYPE_NULL.
  static CefRefPtr<CefValue> Create();

  // False when the held complex value has become invalid.
  virtual bool IsValid() = 0;
  // True when the held complex value is owned by another object.
  virtual bool IsOwned() = 0;
  virtual bool IsReadOnly() = 0;
  // True when both refer to the same underlying data.
  virtual bool IsSame(CefRefPtr<CefValue> that) = 0;
  // True when both hold equivalent content (deep comparison).
  virtual bool IsEqual(CefRefPtr<CefValue> that) = 0;
  // Returns a deep, writable copy.
  virtual CefRefPtr<CefValue> Copy() = 0;

  virtual CefValueType GetType() = 0;

  // Each getter returns its type's default value on a type mismatch.
  virtual bool GetBool() = 0;
  virtual int GetInt() = 0;
  virtual double GetDouble() = 0;
  virtual CefString GetString() = 0;
  // The complex getters return the object held by this value.
  virtual CefRefPtr<CefBinaryValue> GetBinary() = 0;
  virtual CefRefPtr<CefDictionaryValue> GetDictionary() = 0;
  virtual CefRefPtr<CefListValue> GetList() = 0;

  virtual bool SetNull() = 0;
  virtual bool SetBool(bool value) = 0;
  virtual bool SetInt(int value) = 0;
  // Non-finite values are stored as 0.0.
  virtual bool SetDouble(double value) = 0;
  virtual bool SetString(const CefString& value) = 0;
  // The complex setters keep a reference to |value|; nothing is copied or
  // moved.
  virtual bool SetBinary(CefRefPtr<CefBinaryValue> value) = 0;
  virtual bool SetDictionary(CefRefPtr<CefDictionaryValue> value) = 0;
  virtual bool SetList(CefRefPtr<CefListValue> value) = 0;
};

// An immutable block of bytes.
/*--cef(source=library)--*/
class CefBinaryValue : public virtual CefBaseRefCounted {
 public:
  // Copies |data_size| bytes from |data|. Returns null for empty input.
  static CefRefPtr<CefBinaryValue> Create(const void* data, size_t data_size);

  virtual bool IsValid() = 0;
  virtual bool IsOwned() = 0;
  virtual bool IsSame(CefRefPtr<CefBinaryValue> that) = 0;
  virtual bool IsEqual(CefRefPtr<CefBinaryValue> that) = 0;
  virtual CefRefPtr<CefBinaryValue> Copy() = 0;

  // Valid while this object is valid and unchanged.
  virtual const void* GetRawData() = 0;
  virtual size_t GetSize() = 0;
  // Copies up to |buffer_size| bytes starting at |data_offset| into |buffer|
  // and returns the number of bytes copied.
  virtual size_t GetData(void* buffer, size_t buffer_size, size_t data_offset) = 0;
};

// A dictionary keyed by string. Keys are kept in ascending byte order of their
// UTF-8 form.
/*--cef(source=library)--*/
class CefDictionaryValue : public virtual CefBaseRefCounted {
 public:
  typedef std::vector<CefString> KeyList;

  // Creates a new, empty, unowned dictionary.
  static CefRefPtr<CefDictionaryValue> Create();

  virtual bool IsValid() = 0;
  virtual bool IsOwned() = 0;
  virtual bool IsReadOnly() = 0;
  virtual bool IsSame(CefRefPtr<CefDictionaryValue> that) = 0;
  virtual bool IsEqual(CefRefPtr<CefDictionaryValue> that) = 0;
  // Returns a writable deep copy. With |exclude_empty_children| empty
  // dictionaries and lists are left out at every depth.
  virtual CefRefPtr<CefDictionaryValue> Copy(bool exclude_empty_children) = 0;

  virtual size_t GetSize() = 0;
  virtual bool Clear() = 0;
  virtual bool HasKey(const CefString& key) = 0;
  // Appends the keys, in order, to |keys|.
  virtual bool GetKeys(KeyList& keys) = 0;
  virtual bool Remove(const CefString& key) = 0;

  // VTYPE_INVALID for a missing key.
  virtual CefValueType GetType(const CefString& key) = 0;
  // Simple values are copied; complex values are references. Null for a
  // missing key.
  virtual CefRefPtr<CefValue> GetValue(const CefString& key) = 0;
  // A missing or differently typed member reads as the type's default.
  virtual bool GetBool(const CefString& key) = 0;
  virtual int GetInt(const CefString& key) = 0;
  virtual double GetDouble(const CefString& key) = 0;
  virtual CefString GetString(const CefString& key) = 0;
  virtual CefRefPtr<CefBinaryValue> GetBinary(const CefString& key) = 0;
  virtual CefRefPtr<CefDictionaryValue> GetDictionary(const CefString& key) = 0;
  virtual CefRefPtr<CefListValue> GetList(const CefString& key) = 0;

  // Simple values are copied; a complex value is moved in when unowned
  // (|value| then refers to the stored data) and copied otherwise.
  virtual bool SetValue(const CefString& key, CefRefPtr<CefValue> value) = 0;
  virtual bool SetNull(const CefString& key) = 0;
  virtual bool SetBool(const CefString& key, bool value) = 0;
  virtual bool SetInt(const CefString& key, int value) = 0;
  virtual bool SetDouble(const CefString& key, double value) = 0;
  virtual bool SetString(const CefString& key, const CefString& value) = 0;
  // An unowned |value| is moved in and becomes invalid; an owned one is
  // copied.
  virtual bool SetBinary(const CefString& key, CefRefPtr<CefBinaryValue> value) = 0;
  virtual bool SetDictionary(const CefString& key, CefRefPtr<CefDictionaryValue> value) = 0;
  virtual bool SetList(const CefString& key, CefRefPtr<CefListValue> value) = 0;
};

// A list of values indexed from zero.
/*--cef(source=library)--*/
class CefListValue : public virtual CefBaseRefCounted {
 public:
  // Creates a new, empty, unowned list.
  static CefRefPtr<CefListValue> Create();

  virtual bool IsValid() = 0;
  virtual bool IsOwned() = 0;
  virtual bool IsReadOnly() = 0;
  virtual bool IsSame(CefRefPtr<CefListValue> that) = 0;
  virtual bool IsEqual(CefRefPtr<CefListValue> that) = 0;
  virtual CefRefPtr<CefListValue> Copy() = 0;

  // Growing fills the new slots with null values.
  virtual bool SetSize(size_t size) = 0;
  virtual size_t GetSize() = 0;
  virtual bool Clear() = 0;
  virtual bool Remove(size_t index) = 0;

  // VTYPE_INVALID for an index out of range.
  virtual CefValueType GetType(size_t index) = 0;
  virtual CefRefPtr<CefValue> GetValue(size_t index) = 0;
  virtual bool GetBool(size_t index) = 0;
  virtual int GetInt(size_t index) = 0;
  virtual double GetDouble(size_t index) = 0;
  virtual CefString GetString(size_t index) = 0;
  virtual CefRefPtr<CefBinaryValue> GetBinary(size_t index) = 0;
  virtual CefRefPtr<CefDictionaryValue> GetDictionary(size_t index) = 0;
  virtual CefRefPtr<CefListValue> GetList(size_t index) = 0;

  // Setting past the end grows the list, padding with null values.
  virtual bool SetValue(size_t index, CefRefPtr<CefValue> value) = 0;
  virtual bool SetNull(size_t index) = 0;
  virtual bool SetBool(size_t index, bool value) = 0;
  virtual bool SetInt(size_t index, int value) = 0;
  virtual bool SetDouble(size_t index, double value) = 0;
  virtual bool SetString(size_t index, const CefString& value) = 0;
  virtual bool SetBinary(size_t index, CefRefPtr<CefBinaryValue> value) = 0;
  virtual bool SetDictionary(size_t index, CefRefPtr<CefDictionaryValue> value) = 0;
  virtual bool SetList(size_t index, CefRefPtr<CefListValue> value) = 0;
};

#endif  // CEF_INCLUDE_CEF_VALUES_H_
