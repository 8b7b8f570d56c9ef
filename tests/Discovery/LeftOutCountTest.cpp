// The participant manager's count of what its last Enumerate left out, by
// reason: the firmware's side (the registry's is driven through zivo list).
#include <gtest/gtest.h>

#include "Discovery/DiscoveryTest.h"
#include "PartMgr/DiscoveryLeftOut.h"
#include "zivorivizo/StatusCodes.h"

namespace {

class LeftOutCountTest : public CDiscoveryTest {};

TEST_F(LeftOutCountTest, CountsTheFirmwareParticipantsLeftOutAndStartsAgainAtEachEnumerate) {
  PublishDevice(1);
  PublishSensor(L"A", {1});
  _tagSSimWmiSensor bad;
  bad.instanceName = L"B";
  bad.listArray = std::make_shared<CSafeArray>(std::vector<_tagSSafeArrayBound>{{1, 0}, {1, 0}},
                                               std::vector<int32_t>{1});
  Firmware().AddSensor(bad);
  const DiscoveryLeftOut& leftOut = LeftOutByLastEnumerate(Manager());
  EXPECT_EQ(leftOut.Total(), 0) << "nothing before the first Enumerate";

  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(leftOut.Count(LeftOutReason::FirmwareInvalid), 1);
  EXPECT_EQ(leftOut.Total(), 1);

  Faults().Fail(FaultOp::WmiNext, WBEM_E_FAILED, L"DtmDeviceParticipantInformation");
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(leftOut.Count(LeftOutReason::FirmwareCut), 1);
  EXPECT_EQ(leftOut.Count(LeftOutReason::FirmwareInvalid), 1);
  EXPECT_EQ(leftOut.Total(), 2);

  Firmware().Remove(L"B");
  ASSERT_EQ(Manager().Enumerate(), ZIVO_SUCCESS);
  EXPECT_EQ(leftOut.Total(), 0) << "each Enumerate counts afresh";
}

}  // namespace
