# Report designs (Relatorios.cpp). The report templates shipped in templates/ are compiled into the service, so a server binary
# can store them in a fresh database (boleto-server seed) without the source tree. Each keeps
# the date of its file; a changed template reconfigures the build.
file(GLOB _templates CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/templates/*.QR2)
list(SORT _templates)
set(_embedded_templates "// Generated from templates/ at configure time.\n#include \"service/Relatorios.h\"\nnamespace service {\nconst std::vector<ShippedTemplate>& shippedTemplates() {\n  static const std::vector<ShippedTemplate> all{\n")
foreach(_t ${_templates})
  get_filename_component(_name ${_t} NAME)
  file(TIMESTAMP ${_t} _stamp "%Y%m%d%H%M%S" UTC)
  file(READ ${_t} _text)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_t})
  string(APPEND _embedded_templates "    {\"${_name}\", \"${_stamp}\", R\"qr2template(${_text})qr2template\"},\n")
endforeach()
string(APPEND _embedded_templates "  };\n  return all;\n}\n}  // namespace service\n")
# Written through a copy so that an unchanged result keeps its date (no rebuild), and copied
# as is: the templates' "@NAME" references are not CMake's to replace.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/EmbeddedTemplates.cpp.in "${_embedded_templates}")
configure_file(${CMAKE_CURRENT_BINARY_DIR}/EmbeddedTemplates.cpp.in
  ${CMAKE_CURRENT_BINARY_DIR}/EmbeddedTemplates.cpp COPYONLY)
target_sources(boleto_service PRIVATE Relatorios.cpp ${CMAKE_CURRENT_BINARY_DIR}/EmbeddedTemplates.cpp)
