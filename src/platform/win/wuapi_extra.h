// Declarations that MinGW-w64's wuapi.h lacks, with the Windows SDK's
// method order and identifiers.
#pragma once
