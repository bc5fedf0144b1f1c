// Moved to authoring/image_builder.h, where the image tool takes it from too.
#pragma once

#include "authoring/image_builder.h"
