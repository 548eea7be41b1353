kvr_add_fuzzer(hex_codec formats)
kvr_add_fuzzer(base64_codec formats)
kvr_add_fuzzer(url_codec formats)
kvr_add_fuzzer(quoted_printable_codec formats)
