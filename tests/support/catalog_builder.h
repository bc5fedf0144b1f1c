// Moved to authoring/catalog_builder.h, where the image tool takes it from too.
#pragma once

#include "authoring/catalog_builder.h"
