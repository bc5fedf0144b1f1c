// Moved to authoring/image_stamp.h, beside the builders it serves.
#pragma once

#include "authoring/image_stamp.h"
