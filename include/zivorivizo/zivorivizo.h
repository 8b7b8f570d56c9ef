// Everything a host needs: include this one header.
#pragma once

#include "zivorivizo/ConfigManager.h"
#include "zivorivizo/ConfigRecords.h"
#include "zivorivizo/Device.h"
#include "zivorivizo/Export.h"
#include "zivorivizo/Log.h"
#include "zivorivizo/OSConfigMgr.h"
#include "zivorivizo/OSParticipantMgr.h"
#include "zivorivizo/OSSystemManager.h"
#include "zivorivizo/ParticipantMgr.h"
#include "zivorivizo/ParticipantRecords.h"
#include "zivorivizo/Platform.h"
#include "zivorivizo/Sensor.h"
#include "zivorivizo/StatusCodes.h"
#include "zivorivizo/SystemManager.h"
#include "zivorivizo/TempConversion.h"
