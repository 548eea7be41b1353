kvr_add_fuzzer(asn1_coding crypto)
kvr_add_fuzzer(encrypted_file crypto)
