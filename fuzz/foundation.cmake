kvr_add_fuzzer(numerals foundation)
kvr_add_fuzzer(file_paths foundation)
