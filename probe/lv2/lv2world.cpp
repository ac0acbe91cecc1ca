#include "lv2world.h"

#include "probe/untrustedtext.h"

#include <QDir>
#include <QFileInfo>

QStringList lv2Folders()
{
    const QByteArray path = qgetenv("LV2_PATH");
    if (!path.isEmpty())
        return QString::fromLocal8Bit(path).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return {QDir::homePath() + QStringLiteral("/.lv2"), QStringLiteral("/usr/local/lib/lv2"),
            QStringLiteral("/usr/lib/lv2")};
}

Lv2World::Lv2World()
    : m_world(lilv_world_new())
{
    OwnedNode no(lilv_new_bool(m_world, false));
    lilv_world_set_option(m_world, LILV_OPTION_DYN_MANIFEST, no.get());
}

Lv2World::~Lv2World()
{
    for (LilvNode *node : m_nodes)
        lilv_node_free(node);
    lilv_world_free(m_world);
}

const LilvNode *Lv2World::uri(const char *uri)
{
    m_nodes.append(lilv_new_uri(m_world, uri));
    return m_nodes.last();
}

const LilvNode *Lv2World::loadBundle(const QString &folder)
{
    const auto bundleNode = [this](const QString &path) {
        const QByteArray local = QFile::encodeName(path + QLatin1Char('/'));
        m_nodes.append(lilv_new_file_uri(m_world, nullptr, local.constData()));
        return m_nodes.last();
    };
    const LilvNode *bundle = bundleNode(folder);
    // The class names and their tree are in the core specification; without
    // it a plug-in's class is told by its URI alone.
    for (const QString &lv2 : lv2Folders()) {
        const QFileInfo core(lv2 + QStringLiteral("/core.lv2"));
        if (core.isDir()) {
            if (core.absoluteFilePath() != folder)
                lilv_world_load_bundle(m_world, bundleNode(core.absoluteFilePath()));
            break;
        }
    }
    lilv_world_load_bundle(m_world, bundle);
    lilv_world_load_specifications(m_world);
    lilv_world_load_plugin_classes(m_world);
    return bundle;
}

QString nodeText(const LilvNode *node)
{
    return node ? untrustedText(lilv_node_as_string(node)) : QString();
}
