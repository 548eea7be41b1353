// What the product writes into its site and operator certificates, and where a verified chain holds
// them.
//
// Labelled fields: the subject of a site or operator certificate holds "name" entries (2.5.4.41)
// whose values begin with a label ("Sitename:", "GatherURL:", "Server:", "Type:"). A field is the
// rest of the first such value after its label, taken as the bytes of the entry's string whatever
// its string type; empty when no entry carries the label or for a null certificate. The bytes live
// as long as the certificate.
//
// Chain positions: a verified chain runs from the signer's certificate (position 0) up to the root
// (n-1); n-2 is the registrar certificate and n-3 the site certificate. A chain of 3 is signed by a
// site certificate itself, one of 4 by an operator certificate under it. A position the chain is too
// short for reads as null.
#pragma once

#include <openssl/x509.h>

#include "base/const_data.h"

ConstData GetGatherURLField(const X509* certificate);
ConstData GetServerField(const X509* certificate);
ConstData GetSitenameField(const X509* certificate);
ConstData GetTypeField(const X509* certificate);

// The "Type:" field is empty or exactly "Administrator" (bytewise, case-sensitive).
bool IsAdministratorOrUntyped(const X509* certificate);

X509* ChainRoot(const STACK_OF(X509)* chain);
X509* ChainRegistrar(const STACK_OF(X509)* chain);
X509* ChainSiteCertificate(const STACK_OF(X509)* chain);
