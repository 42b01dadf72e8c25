// The operating-system layer of the core, one header per concern. Each concern has a source
// file per system (X_posix.cpp, X_win32.cpp); UfnSystemErrors.cpp is the same on both.
// Nothing here shows a window.
#pragma once

#include "platform/UfnChildProcess.h"
#include "platform/UfnCodePage.h"
#include "platform/UfnEnvironment.h"
#include "platform/UfnFileHandles.h"
#include "platform/UfnFiles.h"
#include "platform/UfnInstanceLock.h"
#include "platform/UfnPortProbe.h"
#include "platform/UfnProcesses.h"
#include "platform/UfnSystemErrors.h"
#include "platform/UfnTrash.h"
