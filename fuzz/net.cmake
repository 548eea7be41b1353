kvr_add_fuzzer(address_text net)
kvr_add_fuzzer(url_text net)
kvr_add_fuzzer(back_channel net)
