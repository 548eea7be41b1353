kvr_add_fuzzer(stream_transcoders formats)
kvr_add_fuzzer(json_parser formats)
kvr_add_fuzzer(xml_tree_parser formats)
kvr_add_fuzzer(sax_xml_tree formats)
