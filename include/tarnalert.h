// tarnalert: the client-side alert library of a Tarnhold installation.
//
// One include for the whole public interface: the alert record and its
// dispatch, the local road of the failover alert with its configuration
// cache, token values and template helpers, HTML entities, timestamp
// conversions, and the platform layer they need in their signatures (the
// environment object, message objects, event catalogue and debug log, errors,
// strings and locks).
#ifndef TARNALERT_INCLUDE_TARNALERT_H_
#define TARNALERT_INCLUDE_TARNALERT_H_

#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/AlertTokenHelper.h"
#include "tarnalert/alertclient/ConfigCheck.h"
#include "tarnalert/alertclient/DbDatetime.h"
#include "tarnalert/alertclient/DeliveryOptions.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/alertclient/FailoverResult.h"
#include "tarnalert/alertclient/InstalledConfig.h"
#include "tarnalert/alertclient/Notification.h"
#include "tarnalert/alertclient/TemplateText.h"
#include "tarnalert/delivery/DeliveryStatus.h"
#include "tarnalert/delivery/MailOutbox.h"
#include "tarnalert/delivery/MailProbe.h"
#include "tarnalert/delivery/RetryDelay.h"
#include "tarnalert/delivery/SpoolForwarder.h"
#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/env/KnownSettings.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/files/CYqError.h"
#include "tarnalert/platform/files/CheckedDirectory.h"
#include "tarnalert/platform/files/SettingsReport.h"
#include "tarnalert/platform/message/HqMessageBase.h"
#include "tarnalert/platform/message/Messages.h"
#include "tarnalert/platform/message/ParseResult.h"
#include "tarnalert/platform/text/FXString.h"
#include "tarnalert/util/KtCriticalSection.h"
#include "tarnalert/util/NTBasicLib.h"
#include "tarnalert/version.h"

#endif  // TARNALERT_INCLUDE_TARNALERT_H_
