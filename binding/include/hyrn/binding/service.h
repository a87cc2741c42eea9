// Everything a generated service file needs: result objects, operation bases, provider
// dispatch and client invocation.
#pragma once

#include "hyrn/binding/async_result.h"
#include "hyrn/binding/frame.h"
#include "hyrn/binding/operation.h"
#include "hyrn/binding/provider.h"
#include "hyrn/binding/stub.h"
#include "hyrn/data/base_native.h"
#include "hyrn/data/type_info.h"
#include "ormi/core.h"
#include "ormi/data/dynamic_structure.h"
#include "ormi/l10n.h"
#include "ormi/provider.h"
#include "ormi/stub.h"
#include "ormi/types.h"
