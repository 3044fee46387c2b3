// tarnalert: the client-side alert library of a Tarnhold installation.
//
// One include for the whole public interface: the alert record and its
// dispatch, the local road of the failover alert with its configuration
// cache, token values and template helpers, HTML entities, timestamp
// conversions, and the platform layer they need in their signatures (the
// environment object, message objects, event catalogue and debug log, errors,
// strings and locks).
#ifndef TARNALERT_H_
#define TARNALERT_H_

#include "alert/EvAlertEx.h"
#include "alertclient/AlertTokenHelper.h"
#include "alertclient/DbDatetime.h"
#include "alertclient/EvAlertProcessClient.h"
#include "alertclient/TemplateText.h"
#include "platform/CYqError.h"
#include "platform/Env.h"
#include "platform/EvEvent.h"
#include "platform/Export.h"
#include "platform/FXString.h"
#include "platform/HqMessageBase.h"
#include "platform/Messages.h"
#include "util/KtCriticalSection.h"
#include "util/NTBasicLib.h"

#endif  // TARNALERT_H_
