// The module's compiled-in resources (generated from resources/resources.list at build time).
#pragma once

#include "platform/ModuleResources.h"

extern const ModuleResourceTable kKivPictureResources;
