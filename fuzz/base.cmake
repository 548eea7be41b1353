kvr_add_fuzzer(file_paths base)
