// The sections and scans of each patch, so that tests can tell which lines a
// patch may insert and where, without a copy of its tables.
#pragma once

#include "patches/section_merge.h"

Table<SectionStep> MshdcInfSteps();
Table<SectionStep> MachineInfSteps();
Table<SectionStep> UsbInfSteps();
