# Sets ZV_EXEC, the desktop entry's Exec value that runs ZV_LAUNCHER: the path as it is when
# nothing in it needs quoting, else in double quotes with the entry's two levels of escapes.
if(ZV_LAUNCHER MATCHES "[\n\r]")
    message(FATAL_ERROR "A menu entry cannot run a program whose path has a line break: ${ZV_LAUNCHER}")
endif()
if(ZV_LAUNCHER MATCHES "^[A-Za-z0-9/._+,:@=-]+$")
    set(ZV_EXEC "${ZV_LAUNCHER}")
else()
    set(zv_quoted "${ZV_LAUNCHER}")
    # Inside quotes ", `, $ and \ take a backslash; then the value escape doubles every backslash.
    string(REPLACE "\\" "\\\\\\\\" zv_quoted "${zv_quoted}")
    string(REPLACE "\"" "\\\\\"" zv_quoted "${zv_quoted}")
    string(REPLACE "`" "\\\\`" zv_quoted "${zv_quoted}")
    string(REPLACE "$" "\\\\$" zv_quoted "${zv_quoted}")
    set(ZV_EXEC "\"${zv_quoted}\"")
endif()
# A literal % is written twice; a single one would start a field code.
string(REPLACE "%" "%%" ZV_EXEC "${ZV_EXEC}")
