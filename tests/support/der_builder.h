// Moved to authoring/der_builder.h, where the image tool takes it from too.
#pragma once

#include "authoring/der_builder.h"
