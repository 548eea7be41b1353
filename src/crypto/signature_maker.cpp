#include "crypto/signature_maker.h"

#include "foundation/data_stages.h"

void SignatureMaker::Begin(std::uint64_t) {
    m_contentType.Reset();
    m_transferEncoding =
        FillBuffer(m_transferEncodingBytes, m_transferEncodingBytes + kTransferEncodingCapacity);
}

DataReceiver& SignatureMaker::Header(std::uint64_t, ConstData name) {
    const std::string_view field = name.View();
    if (field == "content-type") {
        m_fields.SetTarget(m_contentType);
        return m_fields;
    }
    if (field == "content-transfer-encoding") return m_filler.SetUp(m_transferEncoding, m_copy);
    return IgnoreDataReceiver::Instance();
}

LineReceiver& SignatureMaker::Body(std::uint64_t) {
    if (m_contentType.Subtype() != ContentTypeCode::kApplicationPKCS7Signature)
        return IgnoreLineReceiver::Instance();
    return m_decoder.SelectDecoder(m_transferEncoding.Filled(), m_signature);
}
