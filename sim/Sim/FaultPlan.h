// Faults injected into the platform stand-ins, in one vocabulary for every
// interface: a fault names an operation, optionally a target (the key path or
// value name, the device path, the XML tag or attribute, the WMI property,
// method, class or path), the call it starts at (the nth matching call counted
// from when it was armed), how many calls fail from there (once, a count, or
// always) and the status the failing call returns.
//
// A plan holds the armed faults and counts the calls. The forwarding
// decorators (CFaultyRegistry, CFaultyDeviceIo, CFaultyPower, CFaultyXml,
// CFaultyCom) consult it before each call they forward; several decorators
// may share one plan, so a test can fail "the nth call of anything" across the
// whole platform and sweep a start-up path with it. The decorators wrap any
// implementation, the in-memory and the Linux ones alike. Thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

enum class FaultOp {
  Any,  // every call of every decorator sharing the plan
  // Registry: the key path (RegOpen, RegWait) or the value name.
  RegOpen,
  RegQueryDword,
  RegQueryString,
  RegSet,
  RegWait,
  // Device I/O: the device path (DeviceOpen); the device path or the control
  // code as "0x" and eight hex digits (DeviceControl).
  DeviceOpen,
  DeviceControl,
  // XML: XmlAny matches every XML call. The target is the path (Load, ValidateAgainst's grammar
  // counts as a Load), the tag (ElementsByTagName), the attribute name (AttributeText).
  XmlAny,
  XmlCreateDocument,
  XmlLoad,
  XmlElementsByTagName,
  XmlNodeName,
  XmlChildNodes,
  XmlAttributes,
  XmlAttributeText,
  // Power: a failing call answers false.
  PowerPrivilege,
  PowerShutdown,
  PowerHibernateAllowed,
  PowerSetState,
  // COM: ConnectServer's target is the namespace.
  CoInitializeEx,
  CoInitializeSecurity,
  CreateWbemLocator,
  ConnectServer,
  QueryClientSecurity,
  SetBlanket,
  CreateUnsecuredApartment,
  CreateObjectStub,
  StubQueryInterface,
  // WMI: the property (Get, Put), the method (GetMethod; ExecMethod also
  // "instance key/method"), the class (SpawnInstance, CreateInstanceEnum,
  // Next), the object path (GetObject), the query text.
  WmiGet,
  WmiPut,
  WmiGetMethod,
  WmiSpawnInstance,
  WmiGetObject,
  WmiExecMethod,
  WmiCreateInstanceEnum,
  WmiNext,
  WmiExecNotificationQueryAsync,
  WmiCancelAsyncCall,
  // Arrays read out of a WMI object: the property that held the array
  // ("List"); for an element also the property and index ("List[1]").
  ArrayLBound,
  ArrayUBound,
  ArrayElement,
};

// How many operations there are, for tables indexed by operation.
inline constexpr std::size_t kFaultOpCount = static_cast<std::size_t>(FaultOp::ArrayElement) + 1;

struct SimFault {
  FaultOp op = FaultOp::Any;
  std::wstring target;  // empty: any call; else compared case-insensitively
  int nth = 1;          // the first matching call that fails, counted from arming
  int count = 1;        // how many fail from there; 0: every one (always)
  long status = 0;      // what the call returns; 0: the operation's usual failure
  // The call is made all the same and then reports the status (a failing
  // Next still hands out one object, a failing set still writes).
  bool proceed = false;
};

class CFaultPlan {
 public:
  static constexpr int kAlways = 0;

  void Arm(SimFault fault);
  void Fail(FaultOp op, long status = 0, std::wstring target = L"", int nth = 1, int count = 1);
  void Clear();

  // Called by the decorators for each call: counts it and, when an armed
  // fault fires, returns true with `status` (0 when the fault named none)
  // and `proceed` set. The call matches a fault whose target is empty or
  // equals one of `targets`.
  bool Take(FaultOp op, std::initializer_list<std::wstring_view> targets, long& status,
            bool* proceed = nullptr);

  // Calls of `op` so far (Any: all), failed ones included; faults that fired;
  // faults armed and not used up.
  int Calls(FaultOp op);
  int Fired();
  int Pending();

 private:
  struct _tagSArmed {
    SimFault fault;
    int seen = 0;
  };

  std::mutex mLock;
  std::vector<_tagSArmed> mArmed;
  std::array<int, kFaultOpCount> mCalls{};
  int mAllCalls = 0;
  int mFired = 0;
};

// Case-insensitive (ASCII) equality of names.
bool FaultNameEquals(std::wstring_view a, std::wstring_view b);
