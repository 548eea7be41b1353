#include "foundation/counted_ptr.h"

bool SharedCount::Release() {
    std::atomic<std::int32_t>* count = std::exchange(m_count, nullptr);
    if (!count) return false;
    // acq_rel: the holder that frees sees every write the other holders made before releasing.
    if (count->fetch_sub(1, std::memory_order_acq_rel) != 1) return false;
    delete count;
    return true;
}
