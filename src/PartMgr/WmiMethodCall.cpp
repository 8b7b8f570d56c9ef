#include "PartMgr/WmiMethodCall.h"

#include <cstdint>

CWmiMethodCall::CWmiMethodCall(std::shared_ptr<CWbemServices> services, std::wstring controlClass,
                               std::wstring controlPath, std::wstring method)
    : mServices(std::move(services)),
      mControlClass(std::move(controlClass)),
      mControlPath(std::move(controlPath)),
      mMethod(std::move(method)) {}

HRESULT CWmiMethodCall::GetClass() {
  if (!mServices) {
    return E_POINTER;
  }
  mClass.reset();
  return mServices->GetObject(mControlClass, mClass);
}

HRESULT CWmiMethodCall::GetMethod() {
  if (!mClass) {
    return E_POINTER;
  }
  mSignature.reset();
  const HRESULT hr = mClass->GetMethod(mMethod, &mSignature, nullptr);
  if (HrSucceeded(hr) && !mSignature) {
    return WBEM_E_INVALID_METHOD;
  }
  return hr;
}

HRESULT CWmiMethodCall::SpawnInput() {
  if (!mSignature) {
    return E_POINTER;
  }
  mInput.reset();
  return mSignature->SpawnInstance(mInput);
}

HRESULT CWmiMethodCall::PutInput(const std::wstring& name, int32_t value) {
  if (!mInput) {
    return E_POINTER;
  }
  return mInput->Put(name, CVariant::I4(value));
}

HRESULT CWmiMethodCall::Execute(bool withInput, bool wantOutput) {
  if (!mServices) {
    return E_POINTER;
  }
  mOutput.reset();
  return mServices->ExecMethod(mControlPath, mMethod,
                               withInput ? mInput : std::shared_ptr<CWbemClassObject>(),
                               wantOutput ? &mOutput : nullptr);
}

HRESULT CWmiMethodCall::GetOutput(const std::wstring& name, int32_t& value) {
  if (!mOutput) {
    return WBEM_E_NOT_FOUND;
  }
  return GetInt32Property(*mOutput, name, value);
}

std::wstring ControlPathOf(const std::wstring& relativePath) {
  static const std::wstring kFrom = L"ParticipantInformation";
  static const std::wstring kTo = L"ControlMethod";
  std::wstring path = relativePath;
  for (std::size_t at = path.find(kFrom); at != std::wstring::npos;
       at = path.find(kFrom, at + kTo.size())) {
    path.replace(at, kFrom.size(), kTo);
  }
  return path;
}

unsigned LogAddress(const void* pointer) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointer));
}

HRESULT GetInt32Property(CWbemClassObject& object, const std::wstring& name, int32_t& value) {
  CVariant read;
  const HRESULT hr = object.Get(name, read);
  if (HrFailed(hr)) {
    return hr;
  }
  return VariantToInt32(read, value);
}

HRESULT GetObjectProperty(CWbemClassObject& object, const std::wstring& name,
                          std::shared_ptr<CWbemClassObject>& value) {
  CVariant read;
  const HRESULT hr = object.Get(name, read);
  if (HrFailed(hr)) {
    return hr;
  }
  if (read.vt != VT_UNKNOWN || !read.punkVal) {
    return DISP_E_TYPEMISMATCH;
  }
  value = read.punkVal;
  return S_OK;
}
