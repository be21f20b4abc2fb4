#pragma once

// The whole interface of the core library Tessiva.
#include "Tessiva/AesCrypt.h"
#include "Tessiva/CoreVersion.h"
#include "Tessiva/FileOperator.h"
#include "Tessiva/StringConvert.h"
