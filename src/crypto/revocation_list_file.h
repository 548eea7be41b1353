// The revocation list file, "RevocationList.pem": the CRLs of a RevocationStore kept across
// restarts. Despite its name the file is binary DER without armour: the DER encoding of
// [1] IMPLICIT SET OF CertificateList (identifier octet 0xA1, a DER length, then each CRL's DER, in
// DER SET OF order). Where it lies is the relay configuration's business
// (GatherOptionsManager::GetRevocationListFile); start-up loads it, shutdown and gathers save it.
//
// The file is written whole through a temporary file beside it and one atomic rename, so it holds the
// old list or all of the new, never a part. Its CRLs are trusted as stored: nothing else writes it.
#pragma once

#include "crypto/revocation_store.h"
#include "base/file_location.h"

// A revocation list file of 4 GiB or more.
class RevocationStoreTooLarge : public DebuggableException {};
// The store's wire form did not read back as itself, so it was not written.
class RevocationListUnreadable : public DebuggableException {};

// Replaces the store's content with the file's; a missing file leaves the store as it is, an empty
// one empties it. RevocationStoreTooLarge (store unchanged), file errors, ReadX509_CRLStackFailed for
// content that is not a set of CRLs or holds a list that could not be written back (store left
// empty).
void LoadRevocationStore(const FileLocation& location, RevocationStore& store);
// Writes the store's CRLs to the file; an empty store writes nothing and leaves an existing file as
// it is. The content is read back before it is written: content that does not read back as itself
// throws RevocationListUnreadable, as a file error does, and the old file stays.
void SaveRevocationStore(const FileLocation& location, RevocationStore& store);
