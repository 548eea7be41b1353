#include "formats/header_transcoder.h"

void HeaderTranscoder::Begin() {
    m_concatenator.SetTarget(m_target);
    m_target->Begin();
}

DataReceiver& HeaderTranscoder::TextInDefaultCharset() {
    return TextInCharset(m_defaultCharset.GetConstData());
}

DataReceiver& HeaderTranscoder::TextInCharset(ConstData charsetName) {
    m_labeller.SetEncodingName(charsetName);
    return m_labeller;
}

void HeaderTranscoder::End() {
    m_target->End();
}
