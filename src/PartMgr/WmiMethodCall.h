// The steps by which a firmware participant executes one of its control
// methods: fetch the control-method class, take the method's input
// signature, spawn an input instance from it, put a parameter, execute the
// method on the participant's control-method instance, read an output. Each
// step returns its HRESULT; the participant logs and maps a failure to its
// own status. The class object, signature and input instance belong to one
// call and are released with it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Platform/Wmi.h"

class CWmiMethodCall {
 public:
  // `services` may be null (no connection): every step then fails.
  CWmiMethodCall(std::shared_ptr<CWbemServices> services, std::wstring controlClass,
                 std::wstring controlPath, std::wstring method);

  // GetObject of the control-method class.
  HRESULT GetClass();
  // GetMethod on it: the input signature.
  HRESULT GetMethod();
  // SpawnInstance of the input signature.
  HRESULT SpawnInput();
  // Put of a VT_I4 parameter on the input instance.
  HRESULT PutInput(const std::wstring& name, int32_t value);
  // ExecMethod on the control path, with the input instance when `withInput`
  // and taking the output object when `wantOutput` (the previous output is
  // dropped first).
  HRESULT Execute(bool withInput, bool wantOutput);
  // Get of an integer output parameter.
  HRESULT GetOutput(const std::wstring& name, int32_t& value);

  // The objects' addresses, for the log lines that name them.
  const void* Signature() const { return mSignature.get(); }
  const void* Input() const { return mInput.get(); }

 private:
  std::shared_ptr<CWbemServices> mServices;
  std::wstring mControlClass;
  std::wstring mControlPath;
  std::wstring mMethod;
  std::shared_ptr<CWbemClassObject> mClass;
  std::shared_ptr<CWbemClassObject> mSignature;
  std::shared_ptr<CWbemClassObject> mInput;
  std::shared_ptr<CWbemClassObject> mOutput;
};

// The control-method instance's path of a participant: its relative path
// with every "ParticipantInformation" replaced by "ControlMethod".
std::wstring ControlPathOf(const std::wstring& relativePath);

// An address as the log lines print it (%x).
unsigned LogAddress(const void* pointer);

// Reads an integer property; a value of another type fails like a failed Get.
HRESULT GetInt32Property(CWbemClassObject& object, const std::wstring& name, int32_t& value);
// Reads an embedded-object property; a value that is no object fails.
HRESULT GetObjectProperty(CWbemClassObject& object, const std::wstring& name,
                          std::shared_ptr<CWbemClassObject>& value);
