// The program's own comparison of distinguished names, tolerant of what the product's certificate
// hierarchy does to subject names: entries whose value is a PrintableString beginning with
// "CustomActions:" or "CustomRetrievedProperties:" (prefixed entries) take no part, PrintableString
// values compare ignoring case and the amount of white space, and e-mail addresses ignoring case.
#pragma once

#include <openssl/x509.h>

// Whether the entry is a prefixed entry.
bool IsPrefixedNameEntry(const X509_NAME_ENTRY* entry);
// 0 when the names are equal under the rules above; otherwise a signed difference (a against b) that
// orders them. Entries are compared from the last to the first, by value type, value, set position
// and attribute type, then by the number of entries that take part.
int CompareNamesIgnoringPrefixedEntries(const X509_NAME* a, const X509_NAME* b);
