# Writes the bytes of IN as a C++ array into OUT (EMBEDDED_STUB, EMBEDDED_STUB_SIZE).
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" n)
math(EXPR size "${n} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" body "${body}")
file(WRITE ${OUT} "#include <cstddef>\nextern const unsigned char EMBEDDED_STUB[] = {\n${body}\n};\nextern const std::size_t EMBEDDED_STUB_SIZE = ${size};\n")
