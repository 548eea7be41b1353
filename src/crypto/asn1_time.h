// ParseASN1Time: an ASN.1 time of a certificate or CRL as a calendar time in UTC.
//
// Accepted: UTCTime YYMMDDHHMMSSZ (13 characters; years 00-49 are 20xx, 50-99 are 19xx) and
// GeneralizedTime YYYYMMDDHHMMSSZ (15 characters), digits only before the final "Z", and a date and
// time that exist. Anything else throws InvalidASN1_TIME.
#pragma once

#include <openssl/asn1.h>

#include "foundation/calendar_time.h"
#include "base/exceptions.h"

class InvalidASN1_TIME : public DebuggableException {};

CalendarTime ParseASN1Time(const ASN1_TIME* time);
