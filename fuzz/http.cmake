kvr_add_fuzzer(header_handler http)
kvr_add_fuzzer(http_request_head http)
kvr_add_fuzzer(response_head http)
kvr_add_fuzzer(security_challenge http)
