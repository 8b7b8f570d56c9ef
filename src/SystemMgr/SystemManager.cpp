#include "zivorivizo/SystemManager.h"

CSystemManager::~CSystemManager() = default;
