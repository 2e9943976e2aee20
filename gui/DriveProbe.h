// Why a drive cannot be scanned, in words a user can act on: on Linux the usual cause
// is that reading a raw device needs rights the user lacks.
#pragma once

#include <QString>

#include "platform/DriveTable.h"

QString NotSupportedReason(const platform::DriveSource& drive);
