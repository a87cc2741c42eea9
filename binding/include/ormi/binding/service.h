// Everything a generated service file needs: result objects, operation bases, provider
// dispatch and client invocation.
#pragma once

#include "ormi/async_result.h"
#include "ormi/binding/frame.h"
#include "ormi/binding/operation.h"
#include "ormi/core/call.h"
#include "ormi/data/base_native.h"
#include "ormi/data/dynamic_structure.h"
#include "ormi/data/struct_type_info.h"
#include "ormi/l10n/localizer.h"
#include "ormi/provider/api_interface.h"
#include "ormi/provider/method_signal.h"
#include "ormi/stub/api_stub.h"
#include "ormi/stub/invoker.h"
#include "ormi/types.h"
