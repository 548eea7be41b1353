kvr_add_fuzzer(compressed_file formats)
kvr_add_fuzzer(entry_archive formats)
kvr_add_fuzzer(result_archive formats)
