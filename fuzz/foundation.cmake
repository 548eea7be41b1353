kvr_add_fuzzer(numerals foundation)
