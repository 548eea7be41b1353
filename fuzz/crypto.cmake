kvr_add_fuzzer(asn1_coding crypto)
