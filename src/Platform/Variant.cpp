#include "Platform/Variant.h"

CVariant CVariant::Null() {
  CVariant v;
  v.vt = VT_NULL;
  return v;
}

CVariant CVariant::I4(int32_t value) {
  CVariant v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

CVariant CVariant::Bstr(std::wstring text) {
  CVariant v;
  v.vt = VT_BSTR;
  v.bstrVal = std::move(text);
  return v;
}

CVariant CVariant::Object(std::shared_ptr<CWbemClassObject> object) {
  CVariant v;
  v.vt = VT_UNKNOWN;
  v.punkVal = std::move(object);
  return v;
}

CVariant CVariant::Array(std::shared_ptr<CSafeArray> array) {
  CVariant v;
  v.vt = VT_ARRAY | VT_I4;
  v.parray = std::move(array);
  return v;
}

void CVariant::Clear() {
  *this = CVariant();
}

CSafeArray::CSafeArray(std::vector<int32_t> elements, int32_t lowerBound)
    : mBounds{{static_cast<uint32_t>(elements.size()), lowerBound}},
      mElements(std::move(elements)) {}

CSafeArray::CSafeArray(std::vector<_tagSSafeArrayBound> bounds, std::vector<int32_t> elements)
    : mBounds(std::move(bounds)), mElements(std::move(elements)) {
  std::size_t total = mBounds.empty() ? 0 : 1;
  for (const _tagSSafeArrayBound& bound : mBounds) {
    total *= bound.cElements;
  }
  mElements.resize(total);
}

uint32_t CSafeArray::GetDim() const {
  return static_cast<uint32_t>(mBounds.size());
}

HRESULT CSafeArray::GetLBound(uint32_t dim, int32_t& bound) const {
  if (dim < 1 || dim > mBounds.size()) {
    return E_INVALIDARG;
  }
  bound = mBounds[dim - 1].lLbound;
  return S_OK;
}

HRESULT CSafeArray::GetUBound(uint32_t dim, int32_t& bound) const {
  if (dim < 1 || dim > mBounds.size()) {
    return E_INVALIDARG;
  }
  const _tagSSafeArrayBound& b = mBounds[dim - 1];
  bound = static_cast<int32_t>(static_cast<int64_t>(b.lLbound) + b.cElements - 1);
  return S_OK;
}

HRESULT CSafeArray::GetElement(int32_t index, int32_t& value) const {
  if (mBounds.size() != 1) {
    return E_INVALIDARG;
  }
  const int64_t offset = static_cast<int64_t>(index) - mBounds[0].lLbound;
  if (offset < 0 || offset >= static_cast<int64_t>(mBounds[0].cElements)) {
    return DISP_E_BADINDEX;
  }
  value = mElements[static_cast<std::size_t>(offset)];
  return S_OK;
}

int VariantToWString(const CVariant& value, std::wstring& out) {
  if (value.vt != VT_BSTR) {
    out.clear();
    return 0;
  }
  const std::wstring& text = value.bstrVal;
  std::size_t length = text.find(L'\0');
  if (length == std::wstring::npos) {
    length = text.size();
  }
  out.assign(text, 0, length < ZIVO_VARIANT_TEXT_MAX ? length : ZIVO_VARIANT_TEXT_MAX);
  return 0;
}

HRESULT VariantToInt32(const CVariant& value, int32_t& out) {
  if (value.vt != VT_I4 && value.vt != VT_I2) {
    return DISP_E_TYPEMISMATCH;
  }
  out = value.lVal;
  return S_OK;
}
