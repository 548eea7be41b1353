#include "crypto/openssl_error.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

#include <memory>
#include <string>
#include <thread>

#include "crypto/certificates.h"
#include "crypto/pkcs7_objects.h"

namespace {

OPENSSL_FAILURE(ExampleFailure);

// Puts an error of the library's own on the calling thread's queue.
void QueueError(int reason) { ERR_raise(ERR_LIB_ASN1, reason); }

std::string TextOf(int reason) {
    char buffer[256];
    ERR_error_string_n(ERR_PACK(ERR_LIB_ASN1, 0, reason), buffer, sizeof buffer);
    return buffer;
}

TEST(OpenSSLError, WithAnEmptyQueueReportsItsClassNameAlone) {
    ClearOpenSSLErrors();
    EXPECT_EQ(ExampleFailure().what(), ClassNameText(typeid(ExampleFailure)));
}

TEST(OpenSSLError, JoinsTheQueuedReasonsAndEndsWithTheClassName) {
    ClearOpenSSLErrors();
    QueueError(ASN1_R_TOO_LONG);
    QueueError(ASN1_R_HEADER_TOO_LONG);
    ExampleFailure failure;
    std::string className = ClassNameText(typeid(ExampleFailure));
    EXPECT_EQ(std::string(failure.what()),
              TextOf(ASN1_R_TOO_LONG) + "; " + TextOf(ASN1_R_HEADER_TOO_LONG) + " (" + className + ")");
}

TEST(OpenSSLError, KeepsItsTextWhenTheQueueIsRefilled) {
    ClearOpenSSLErrors();
    QueueError(ASN1_R_TOO_LONG);
    ExampleFailure failure;
    std::string first = failure.what();
    QueueError(ASN1_R_HEADER_TOO_LONG);
    EXPECT_EQ(failure.what(), first);
    ClearOpenSSLErrors();
}

TEST(OpenSSLError, AWrapperDoesNotReportAReasonLeftOverFromAnEarlierFailure) {
    QueueError(ASN1_R_HEADER_TOO_LONG);
    const Byte garbage[] = {0x30, 0x03, 0x02, 0x01, 0x01};
    try {
        CreateX509(ConstData(garbage, sizeof garbage));
        FAIL() << "garbage decoded as a certificate";
    } catch (const CreateX509Failed& failure) {
        EXPECT_EQ(std::string(failure.what()).find(TextOf(ASN1_R_HEADER_TOO_LONG)), std::string::npos)
            << failure.what();
    }
}

TEST(OpenSSLError, CapturedOnOneThreadKeepsItsTextWhenThrownOnAnother) {
    std::unique_ptr<CaughtException> captured;
    std::thread worker([&] {
        RegisterSignedContentExceptionTypes();
        ClearOpenSSLErrors();
        QueueError(ASN1_R_TOO_LONG);
        try {
            throw PKCS7SignatureVerifyFailed();
        } catch (...) {
            captured = CaptureCurrentException();
        }
        QueueError(ASN1_R_HEADER_TOO_LONG);  // the worker's queue moves on
    });
    worker.join();
    QueueError(ASN1_R_WRONG_TAG);  // and this thread has reasons of its own

    ASSERT_TRUE(captured);
    std::string expected = TextOf(ASN1_R_TOO_LONG) + " (" + ClassNameText(typeid(PKCS7SignatureVerifyFailed)) + ")";
    try {
        captured->Rethrow();
    } catch (const PKCS7SignatureVerifyFailed& failure) {
        EXPECT_EQ(failure.what(), expected);
        return;
    }
    ClearOpenSSLErrors();
}

}  // namespace
