#include "PartMgr/WmiDevice.h"

#include "Log/LogStatement.h"
#include "PartMgr/WmiMethodCall.h"
#include "Platform/Wmi.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/StatusCodes.h"

namespace {

const wchar_t kControlClass[] = L"DtmDeviceControlMethod";

uint32_t DeviceClassOf(int32_t type) {
  const auto low = static_cast<uint16_t>(type);
  return (low <= 9 && low != 6) ? low : 0;
}

}  // namespace

CWmiDevice::CWmiDevice(std::shared_ptr<CWbemClassObject> instance)
    : mPlatform(CPlatform::Current()), mServices(COSParticipantManager::Connection()) {
  const unsigned id = LogAddress(instance.get());
  if (HrFailed(instance->Get(L"InstanceName", mInstanceName))) {
    LOG_ERROR("WmiDevice, Get InstanceName Failed %x", id);
    mInstanceName.Clear();
  }
  VariantToWString(mInstanceName, mDevice.Name);

  if (HrFailed(instance->Get(L"__RELPATH", mRelPath))) {
    LOG_ERROR("WmiDevice, Get __RELPATH Failed %x", id);
    mRelPath.Clear();
  }
  // The whole path, not cut like a name: an instance whose name is longer
  // than Name keeps is still reached.
  mControlPath =
      CVariant::Bstr(ControlPathOf(mRelPath.vt == VT_BSTR ? mRelPath.bstrVal : std::wstring()));

  int32_t value = 0;
  if (HrFailed(GetInt32Property(*instance, L"caps", value))) {
    LOG_ERROR("WmiDevice, Get caps Failed Instance: %x", id);
  } else {
    mDevice.Caps = static_cast<uint32_t>(value);
  }

  std::shared_ptr<CWbemClassObject> control;
  if (HrFailed(GetObjectProperty(*instance, L"Control", control))) {
    LOG_ERROR("WmiDevice, Get control Failed Instance: %x Name:%ls", id, mDevice.Name.c_str());
  } else {
    if (HrFailed(GetInt32Property(*control, L"Current", value))) {
      LOG_ERROR("WmiDevice, Get control->current Failed Instance: %x Name:%ls", id,
                mDevice.Name.c_str());
    } else {
      mDevice.Current = static_cast<uint16_t>(value);
    }
    if (HrFailed(GetInt32Property(*control, L"Maximum", value))) {
      LOG_ERROR("WmiDevice, Get control->max Failed Instance: %x Name:%ls", id,
                mDevice.Name.c_str());
    } else {
      mDevice.Max = static_cast<uint32_t>(value);
    }
  }

  if (HrFailed(GetInt32Property(*instance, L"type", value))) {
    LOG_ERROR("WmiDevice, Get type Failed Instance: %x Name:%ls", id, mDevice.Name.c_str());
  } else {
    mDevice.Class = DeviceClassOf(value);
  }

  GetCurrentThrottleLimit();
  LOG_DEBUG("CWmiDevice created: %ls", mDevice.Name.c_str());
}

CWmiDevice::~CWmiDevice() {
  LOG_DEBUG("Deleting %ls", mDevice.Name.c_str());
  mLinkedSensors.clear();
  mInstanceName.Clear();
  mRelPath.Clear();
  mControlPath.Clear();
}

int CWmiDevice::GetCurrentThrottleLimit() {
  const wchar_t* name = mDevice.Name.c_str();
  CWmiMethodCall call(mServices, kControlClass, mControlPath.bstrVal, L"GetThrottleState");
  if (HrFailed(call.Execute(false, true))) {
    LOG_ERROR("GetCurrentThrottleLimit, ExecMethod failed %ls", name);
    return ZIVO_WMI_EXEC_FAILED;
  }
  int32_t read = 0;
  if (HrFailed(call.GetOutput(L"State", read))) {
    LOG_ERROR("GetCurrentThrottleLimit, GetState failed %ls", name);
    return ZIVO_WMI_GET_FAILED;
  }
  const auto state = static_cast<uint32_t>(read);
  if (state > mDevice.Max) {
    LOG_ERROR("Device reporting state which is greater than MAX value: %d", read);
    return ZIVO_STATE_ABOVE_MAX;
  }
  mDevice.Current = state;
  return ZIVO_SUCCESS;
}

int CWmiDevice::SetCurrentThrottleLimit() {
  const wchar_t* name = mDevice.Name.c_str();
  const uint32_t requested = mDevice.Current;
  LOG_DEBUG("SetCurrentThrottleLimit : Device %ls throttle state : %d", name,
            static_cast<int>(requested));

  CWmiMethodCall call(mServices, kControlClass, mControlPath.bstrVal, L"SetThrottleState");
  if (HrFailed(call.GetClass())) {
    LOG_ERROR("SetCurrentThrottleLimit, GetObject failed %ls", name);
    return ZIVO_WMI_GETOBJECT_FAILED;
  }
  if (HrFailed(call.GetMethod())) {
    LOG_ERROR("SetCurrentThrottleLimit failed %ls", name);
    return ZIVO_WMI_GET_FAILED;
  }
  if (HrFailed(call.SpawnInput())) {
    LOG_ERROR("SetCurrentThrottleLimit, SpawnInstance failed %x %ls", LogAddress(call.Signature()),
              name);
    return ZIVO_WMI_CREATE_FAILED;
  }
  if (HrFailed(call.PutInput(L"State", static_cast<int32_t>(requested)))) {
    LOG_ERROR("SetCurrentThrottleLimit, Put failed %x %ls", LogAddress(call.Input()), name);
    return ZIVO_WMI_PUT_FAILED;
  }
  if (HrFailed(call.Execute(true, true))) {
    LOG_ERROR("SetCurrentThrottleLimit, ExecMethod failed  %ls", name);
    return ZIVO_WMI_EXEC_FAILED;
  }

  const int status = GetCurrentThrottleLimit();
  if (status != ZIVO_SUCCESS) {
    LOG_ERROR("SetCurrentThrottleLimit: GetCurrentThrottleLimit failed %ls Error:%d", name, status);
    return status;
  }
  if (mDevice.Current != requested) {
    LOG_ERROR("SetCurrentThrottleLimit. Mismatch in set/get %ls", name);
    LOG_DEBUG("Before %d, After %d", static_cast<int>(requested),
              static_cast<int>(mDevice.Current));
    return ZIVO_THROTTLE_MISMATCH;
  }
  return ZIVO_SUCCESS;
}

int CWmiDevice::Start() {
  LOG_DEBUG("Device start called %ls", mDevice.Name.c_str());
  CWmiMethodCall call(mServices, kControlClass, mControlPath.bstrVal, L"Start");
  if (HrFailed(call.Execute(false, false))) {
    LOG_ERROR("Start ExecMethod failed %ls", mDevice.Name.c_str());
    return ZIVO_WMI_EXEC_FAILED;
  }
  return ZIVO_SUCCESS;
}

int CWmiDevice::Stop() {
  LOG_DEBUG("Device Stop called %ls", mDevice.Name.c_str());
  CWmiMethodCall call(mServices, kControlClass, mControlPath.bstrVal, L"Stop");
  if (HrFailed(call.Execute(false, false))) {
    LOG_ERROR("Stop ExecMethod failed %ls", mDevice.Name.c_str());
    return ZIVO_WMI_EXEC_FAILED;
  }
  return ZIVO_SUCCESS;
}

int CWmiDevice::Shutdown(bool shutdown) {
  const wchar_t* name = mDevice.Name.c_str();
  LOG_DEBUG("Shutdown: Device %ls, bShutdown = %d", name, shutdown ? 1 : 0);
  CWmiMethodCall call(mServices, kControlClass, mControlPath.bstrVal, L"Shutdown");
  if (HrFailed(call.GetClass())) {
    LOG_ERROR("Shutdown, GetObject failed %ls", name);
    return ZIVO_WMI_GETOBJECT_FAILED;
  }
  if (HrFailed(call.GetMethod())) {
    LOG_ERROR("Shutdown failed %ls", name);
    return ZIVO_WMI_GET_FAILED;
  }
  if (HrFailed(call.SpawnInput())) {
    LOG_ERROR("Shutdown, SpawnInstance failed %x %ls", LogAddress(call.Signature()), name);
    return ZIVO_WMI_CREATE_FAILED;
  }
  if (HrFailed(call.PutInput(L"Option", shutdown ? 1 : 0))) {
    LOG_ERROR("Shutdown, Put failed %x %ls", LogAddress(call.Input()), name);
    return ZIVO_WMI_PUT_FAILED;
  }
  if (HrFailed(call.Execute(true, false))) {
    LOG_ERROR("Shutdown, ExecMethod failed %ls", name);
    return ZIVO_WMI_EXEC_FAILED;
  }
  return ZIVO_SUCCESS;
}
