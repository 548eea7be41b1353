kvr_add_fuzzer(address_text net)
kvr_add_fuzzer(http_request_head net)
kvr_add_fuzzer(response_head net)
kvr_add_fuzzer(url_text net)
