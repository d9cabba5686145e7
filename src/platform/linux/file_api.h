#pragma once

#include "win_types.h"
