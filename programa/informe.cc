#include "programa/informe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "platform/runtime_error.h"
#include "programa/terminal.h"

namespace programa {

namespace {

QString Nombre(const QString& nombre) {
    return QStringLiteral("«%1»").arg(nombre);
}

}  // namespace

bool Informe(const QString& carpetaCd, const generacion::ComprobacionCd& cd) {
    QString t = QStringLiteral("CD: %1\n").arg(carpetaCd);
    if (!cd.hayArchivoIni && !cd.archivoIniGuardado.isEmpty()) {
        t += QStringLiteral(
                 "Archivos.ini está en la raíz del CD como %1, y el origen ha de "
                 "llamarlo así, Archivos.ini: no se generaría nada\n")
                 .arg(Nombre(cd.archivoIniGuardado));
    } else if (!cd.hayArchivoIni) {
        t += QStringLiteral("NO HAY Archivos.ini en la raíz del CD: no se generaría nada\n");
    }
    t += QStringLiteral("CANTIDAD=%1: %2 discos; DiskPath=%3\n")
             .arg(Nombre(cd.textoCantidad), QString::number(cd.cantidad), Nombre(cd.prefijo));
    if (cd.errorCantidad != 0) {
        t += QStringLiteral("CANTIDAD: error %1: %2\n")
                 .arg(cd.errorCantidad)
                 .arg(platform::StandardText(cd.errorCantidad));
    } else if (cd.cantidad < 1) {
        t += QStringLiteral("CANTIDAD no da ningún disco: no se generaría ninguno\n");
    }
    for (const generacion::DiscoComprobado& d : cd.discos) {
        t += QStringLiteral("Disco %1 (%2):\n").arg(d.numero).arg(d.carpeta);
        if (cd.discosSinLista.contains(d.numero))
            t += QStringLiteral("  DISCOS no tiene la clave Disco%1\n").arg(d.numero);
        if (d.entradas.isEmpty())
            t += QStringLiteral("  NO COPIA NINGÚN ARCHIVO: el disco se pide y queda vacío\n");
        for (const generacion::EntradaComprobada& e : d.entradas) {
            if (e.error != 0) {
                t += QStringLiteral("  %1: %2 (error %3: %4%5)\n")
                         .arg(Nombre(e.nombre),
                              e.enCarpeta ? QStringLiteral("NO SE COPIA: va a una carpeta del "
                                                           "disquete, que no tiene ninguna")
                              : e.error == platform::errors::kFileNotFound ||
                                      e.error == platform::errors::kPathNotFound
                                  ? QStringLiteral("FALTA EN EL CD")
                                  : QStringLiteral("NO SE PUEDE COPIAR DEL CD"),
                              QString::number(e.error), platform::StandardText(e.error),
                              e.causa.isEmpty() ? QString() : QStringLiteral(": ") + e.causa);
            } else if (!e.motivoFat.isEmpty()) {
                t += QStringLiteral("  %1: NOMBRE QUE UN DISQUETE FAT NO ADMITE: %2\n")
                         .arg(Nombre(e.nombre), e.motivoFat);
            } else if (e.repetido) {
                t += QStringLiteral(
                         "  %1: se copia otra vez, %2 bytes, sobre la copia anterior "
                         "(el disco lo nombra más de una vez)\n")
                         .arg(Nombre(e.nombre), QString::number(e.bytes));
            } else {
                t += QStringLiteral("  %1: se copia, %2 bytes\n")
                         .arg(Nombre(e.nombre), QString::number(e.bytes));
            }
        }
        if (!d.sinComa.isEmpty())
            t += QStringLiteral("  %1: NO SE COPIA: le falta la coma final\n")
                     .arg(Nombre(d.sinComa));
        for (const QString& nombre : d.cortados) {
            t += QStringLiteral(
                     "  %1: NO SE COPIA: queda fuera del límite de 254 caracteres de "
                     "la lista\n")
                     .arg(Nombre(nombre));
        }
        t += QStringLiteral(
                 "  ocupa %1 de %2 grupos de %3 bytes y %4 de %5 entradas de la raíz: "
                 "%6\n")
                 .arg(d.grupos)
                 .arg(generacion::kGruposDelDisquete)
                 .arg(generacion::kBytesPorGrupo)
                 .arg(d.entradasRaiz)
                 .arg(generacion::kEntradasDeLaRaiz)
                 .arg(d.Cabe() ? QStringLiteral("cabe en un disquete de 1,44 MB")
                               : QStringLiteral("NO CABE EN UN DISQUETE DE 1,44 MB"));
    }
    for (const QString& clave : cd.clavesNoLeidas) {
        t += QStringLiteral("DISCOS tiene %1, que no se lee: CANTIDAD da %2 discos\n")
                 .arg(Nombre(clave), QString::number(cd.cantidad));
    }
    t += cd.Completo() ? QStringLiteral("El juego se generaría completo.\n")
                       : QStringLiteral("EL JUEGO NO SE GENERARÍA COMPLETO.\n");
    return Escribir(stdout, t);
}

bool InformeJson(const QString& carpetaCd, const generacion::ComprobacionCd& cd) {
    QJsonArray discos;
    for (const generacion::DiscoComprobado& d : cd.discos) {
        QJsonArray archivos;
        for (const generacion::EntradaComprobada& e : d.entradas) {
            archivos.append(QJsonObject{
                {QStringLiteral("nombre"), e.nombre},
                {QStringLiteral("bytes"), e.bytes < 0 ? QJsonValue() : QJsonValue(e.bytes)},
                {QStringLiteral("error"), e.error},
                {QStringLiteral("mensaje"), platform::StandardText(e.error)},
                {QStringLiteral("causa"), e.causa.isEmpty() ? QJsonValue() : QJsonValue(e.causa)},
                {QStringLiteral("motivo_fat"),
                 e.motivoFat.isEmpty() ? QJsonValue() : QJsonValue(e.motivoFat)},
                {QStringLiteral("repetido"), e.repetido},
                {QStringLiteral("entradas"), e.entradas},
                {QStringLiteral("grupos"), e.grupos},
            });
        }
        discos.append(QJsonObject{
            {QStringLiteral("numero"), d.numero},
            {QStringLiteral("carpeta"), d.carpeta},
            {QStringLiteral("con_clave"), !cd.discosSinLista.contains(d.numero)},
            {QStringLiteral("archivos"), archivos},
            {QStringLiteral("sin_coma"),
             d.sinComa.isEmpty() ? QJsonValue() : QJsonValue(d.sinComa)},
            {QStringLiteral("cortados"), QJsonArray::fromStringList(d.cortados)},
            {QStringLiteral("grupos"), d.grupos},
            {QStringLiteral("entradas_raiz"), d.entradasRaiz},
            {QStringLiteral("cabe"), d.Cabe()},
            {QStringLiteral("completo"), d.Completo()},
        });
    }
    const QJsonObject informe{
        {QStringLiteral("cd"), carpetaCd},
        {QStringLiteral("archivos_ini"), cd.hayArchivoIni},
        {QStringLiteral("archivos_ini_como"), cd.archivoIniGuardado.isEmpty()
                                                  ? QJsonValue(QJsonValue::Null)
                                                  : QJsonValue(cd.archivoIniGuardado)},
        {QStringLiteral("cantidad"), QJsonObject{{QStringLiteral("texto"), cd.textoCantidad},
                                                 {QStringLiteral("discos"), cd.cantidad},
                                                 {QStringLiteral("error"), cd.errorCantidad}}},
        {QStringLiteral("diskpath"), cd.prefijo},
        {QStringLiteral("grupos_del_disquete"), generacion::kGruposDelDisquete},
        {QStringLiteral("bytes_por_grupo"), generacion::kBytesPorGrupo},
        {QStringLiteral("entradas_de_la_raiz"), generacion::kEntradasDeLaRaiz},
        {QStringLiteral("discos"), discos},
        {QStringLiteral("claves_no_leidas"), QJsonArray::fromStringList(cd.clavesNoLeidas)},
        {QStringLiteral("completo"), cd.Completo()},
    };
    const bool escrito =
        std::fputs(QJsonDocument(informe).toJson(QJsonDocument::Indented).constData(), stdout) >= 0;
    return std::fflush(stdout) == 0 && escrito;
}

}  // namespace programa
