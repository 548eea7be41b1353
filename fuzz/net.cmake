kvr_add_fuzzer(address_text net)
