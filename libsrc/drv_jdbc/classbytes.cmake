# Turns the compiled support classes into a C++ source of byte arrays.
# -DCLASS_DIR=<javac output> -DOUT=<generated .cpp>
set(text "// Generated from java/quillmar/support at build time. Do not edit.\n")
string(APPEND text "#include \"drv_jdbc/j-classbytes.h\"\n\n")
foreach(name XAXid QMRClassLoader QMRRowBlock QMRShortcut QMRHsqldbShortcut QMRPgShortcut QMRDescribe)
  file(READ ${CLASS_DIR}/quillmar/support/${name}.class hex HEX)
  string(LENGTH "${hex}" hexlen)
  math(EXPR size "${hexlen} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND text "extern const unsigned char ${name}ClassBytes[] = {\n  ${bytes}\n};\n")
  string(APPEND text "extern const unsigned int ${name}ClassSize = ${size};\n\n")
endforeach()
file(WRITE ${OUT} "${text}")
