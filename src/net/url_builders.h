// Composing URLs piece by piece: the path builder appends escaped components, the query builder
// name=value pairs. A builder bound to a URL starts from that URL's path or query and writes its text
// back into it; an unbound path builder just builds a path text. One thread at a time; a bound
// builder must not outlive its URL.
#pragma once

#include <string>
#include <string_view>

#include "base/const_data.h"
#include "net/url.h"

class URLPathBuilder {
  public:
    // Unbound, with an empty path.
    URLPathBuilder() = default;
    // Bound to the URL, starting from its path (empty when it has none).
    explicit URLPathBuilder(URL& url);

    // "/" unless the path is empty or ends with "/", then the component with every byte outside the
    // path-segment set escaped ("a b" gives "a%20b", "/" gives "%2f").
    URLPathBuilder& AppendComponent(std::string_view component);
    // The same without escaping, for a component that is escaped already.
    URLPathBuilder& AppendRawComponent(std::string_view component);

    const std::string& Text() const { return m_path; }
    // Sets the bound URL's path to the text built and answers the URL; a requirement failure for an
    // unbound builder.
    URL& ApplyToURL();

  private:
    void AppendSeparator();

    std::string m_path;
    URL* m_url = nullptr;
};

class URLQueryBuilder {
  public:
    URLQueryBuilder() = default;
    explicit URLQueryBuilder(std::string query) : m_query(std::move(query)) {}

    // "&" unless the query is empty, then name "=" value, both escaped, a space written as "+"
    // ("a b", "c&d" gives "a+b=c%26d").
    URLQueryBuilder& Add(std::string_view name, std::string_view value);
    const std::string& Text() const { return m_query; }

  private:
    std::string m_query;
};

class URLQueryEditor : public URLQueryBuilder {
  public:
    // Starts from the URL's query (empty when it has none).
    explicit URLQueryEditor(URL& url);
    URLQueryEditor& Add(std::string_view name, std::string_view value) {
        URLQueryBuilder::Add(name, value);
        return *this;
    }
    // Sets the URL's query to the text built and answers the URL.
    URL& Commit();

  private:
    URL& m_url;
};
