// The values that cross the WMI stand-in: a variant (empty, null, 32-bit
// integer, string, embedded object, array) and the arrays it may hold, shaped
// like VARIANT and SAFEARRAY as far as the library uses them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Platform/Com.h"
#include "zivorivizo/Export.h"

// SafeArrayGetElement: an index outside the bounds.
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
// A variant that holds another type than the one asked for.
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);

enum EVarType : uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_UNKNOWN = 13,  // here always an embedded WMI object
  VT_ARRAY = 0x2000,
};

class CWbemClassObject;
class CSafeArray;

// A value with public fields as in VARIANT: `vt` says which field holds it.
// Copies share an embedded object or array (they are not deep copies); the
// library never modifies either.
class ZIVO_EXPORT CVariant {
 public:
  CVariant() = default;
  static CVariant Null();
  static CVariant I4(int32_t value);
  static CVariant Bstr(std::wstring text);
  static CVariant Object(std::shared_ptr<CWbemClassObject> object);
  // VT_ARRAY | VT_I4.
  static CVariant Array(std::shared_ptr<CSafeArray> array);

  // VariantClear: back to VT_EMPTY, dropping what it held.
  void Clear();

  uint16_t vt = VT_EMPTY;
  int32_t lVal = 0;                           // VT_I4, VT_I2
  std::wstring bstrVal;                       // VT_BSTR
  std::shared_ptr<CWbemClassObject> punkVal;  // VT_UNKNOWN
  std::shared_ptr<CSafeArray> parray;         // VT_ARRAY | VT_I4
};

// SAFEARRAYBOUND: the extent of one dimension.
struct _tagSSafeArrayBound {
  uint32_t cElements = 0;
  int32_t lLbound = 0;
};

// An array of 32-bit integers with one or more dimensions (the library uses
// one and refuses others). Immutable once made, so safe to share between
// threads. The reads are virtual so that a stand-in can forward them.
class ZIVO_EXPORT CSafeArray {
 public:
  // One dimension holding `elements`, the first at `lowerBound`.
  explicit CSafeArray(std::vector<int32_t> elements, int32_t lowerBound = 0);
  // Any number of dimensions; `elements` is filled up with zeros or cut to
  // the product of the extents.
  CSafeArray(std::vector<_tagSSafeArrayBound> bounds, std::vector<int32_t> elements);
  virtual ~CSafeArray() = default;

  // SafeArrayGetDim.
  virtual uint32_t GetDim() const;
  // SafeArrayGetLBound / GetUBound of dimension `dim` (from 1); E_INVALIDARG
  // for a dimension the array does not have.
  virtual HRESULT GetLBound(uint32_t dim, int32_t& bound) const;
  virtual HRESULT GetUBound(uint32_t dim, int32_t& bound) const;
  // SafeArrayGetElement of a one-dimensional array; DISP_E_BADINDEX outside
  // the bounds, E_INVALIDARG for an array of other than one dimension.
  // `value` is written only on success.
  virtual HRESULT GetElement(int32_t index, int32_t& value) const;

 private:
  std::vector<_tagSSafeArrayBound> mBounds;
  std::vector<int32_t> mElements;
};

// The most wide characters VariantToWString keeps: its buffer holds 255 with
// the terminator.
inline constexpr std::size_t ZIVO_VARIANT_TEXT_MAX = 254;

// Copies the text of a VT_BSTR value into `out`, cut to its first
// ZIVO_VARIANT_TEXT_MAX characters (and at an embedded null character, as a
// formatted copy would). A value of another type gives an empty text.
// Returns 0.
ZIVO_EXPORT int VariantToWString(const CVariant& value, std::wstring& out);

// The integer of a VT_I4 or VT_I2 value; DISP_E_TYPEMISMATCH (and `out`
// untouched) for any other type, a null value included.
ZIVO_EXPORT HRESULT VariantToInt32(const CVariant& value, int32_t& out);
