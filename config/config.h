#pragma once
// The configuration: servers, devices, the exchange options and their text form.
// There is one live configuration, the global `configuration`; result lists are other
// Collections that borrow its Server and Device objects.

#include "config/collection.h"
#include "config/config_text.h"
#include "config/configuration.h"
#include "config/options.h"
