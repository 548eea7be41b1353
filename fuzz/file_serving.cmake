kvr_add_fuzzer(served_file_request net)
kvr_add_fuzzer(back_channel net)
