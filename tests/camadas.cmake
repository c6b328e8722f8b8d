# The layers, as the headers of kelvara's own (in quotes) that each folder's
# files may include: a file that includes against them fails this test.
#   comum/          nothing but comum/
#   transform/      nothing but transform/
#   shapefile/es/   the I/O layer: comum/
#   shapefile/      the component: its own headers, es/ and comum/
#   conversion/     comum/, transform/, the component's shapefiles.h and
#                   funcao_xy.h, and of es/ only ficheiros.h; never Qt
#   app/, cli/      conversion/ and comum/
#   fuzz/           conversion/, comum/, transform/, the component's
#                   shapefiles.h and funcao_xy.h
#   tests/          anything but the I/O layer's system calls (so.h)
#   bench/          nothing of kelvara's
#
#   cmake -DRAIZ=<source folder> -P tests/camadas.cmake
cmake_minimum_required(VERSION 3.25)

function(cabecalhos pasta saida)
  file(GLOB lista RELATIVE "${RAIZ}/${pasta}" "${RAIZ}/${pasta}/*.h")
  set(${saida} ${lista} PARENT_SCOPE)
endfunction()

cabecalhos(comum comum)
cabecalhos(transform transform)
cabecalhos(shapefile/es es)
cabecalhos(shapefile componente)
cabecalhos(conversion conversao)
cabecalhos(app app)
cabecalhos(cli cli)
cabecalhos(fuzz fuzz)
cabecalhos(tests testes)
set(publico_componente shapefiles.h funcao_xy.h)

set(permitidos_comum ${comum})
set(permitidos_transform ${transform})
set(permitidos_shapefile/es ${es} ${comum})
set(permitidos_shapefile ${componente} ${es} ${comum})
set(permitidos_conversion ${conversao} ${comum} ${transform} ${publico_componente} ficheiros.h)
set(permitidos_app ${app} ${conversao} ${comum})
set(permitidos_cli ${cli} ${conversao} ${comum})
set(permitidos_fuzz ${fuzz} ${conversao} ${comum} ${transform} ${publico_componente})
set(permitidos_tests ${testes} ${comum} ${transform} ${componente} ${es} ${conversao} ${app}
    ${fuzz})
list(REMOVE_ITEM permitidos_tests so.h)
set(permitidos_bench "")
set(sem_qt comum transform shapefile/es shapefile conversion cli fuzz bench)

set(erros "")
foreach(pasta comum transform shapefile/es shapefile conversion app cli fuzz tests bench)
  file(GLOB fontes "${RAIZ}/${pasta}/*.h" "${RAIZ}/${pasta}/*.cpp" "${RAIZ}/${pasta}/*.c"
       "${RAIZ}/${pasta}/*/*.cpp")
  if(pasta STREQUAL "shapefile")
    list(FILTER fontes EXCLUDE REGEX "/shapefile/es/")
  endif()
  foreach(f ${fontes})
    file(STRINGS "${f}" linhas REGEX "^[ \t]*#[ \t]*include")
    file(RELATIVE_PATH nome "${RAIZ}" "${f}")
    foreach(l ${linhas})
      if(l MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
        set(h "${CMAKE_MATCH_1}")
        if(NOT h IN_LIST permitidos_${pasta} AND NOT h MATCHES "\\.moc$")
          string(APPEND erros "  ${nome} inclui \"${h}\"\n")
        endif()
      elseif(l MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]*)>" AND pasta IN_LIST sem_qt)
        string(APPEND erros "  ${nome} inclui <${CMAKE_MATCH_1}>\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(erros)
  message(FATAL_ERROR "Inclusões contra as camadas:\n${erros}")
endif()
message(STATUS "camadas: todas as inclusões respeitam as camadas")
