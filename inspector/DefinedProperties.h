#pragma once
// What an object tells the component stream beyond its published properties, kept apart from the stream
// itself so that widely used classes can take part without its includes.
class QString;
class TWriter;
class TReader;

// An object that stores values of its own after its published properties (flags, records, fonts, sub-rows):
// the writer asks it to write them, the reader hands it every name that is not one of its published
// properties.
class TDefinedProperties {
public:
    virtual ~TDefinedProperties() = default;
    virtual void WriteDefinedProperties(TWriter& writer) const = 0;
    // Reads the value of a property of that name; false when the name is not one of its own.
    virtual bool ReadDefinedProperty(TReader& reader, const QString& name) = 0;
};

// An object that the reader keeps in its loading state while its properties are read, and tells when
// all of them are there (also after a read that failed, so that it never stays loading).
class TLoadingObject {
public:
    virtual ~TLoadingObject() = default;
    virtual void BeginLoading() = 0;
    virtual void Loaded() = 0;
};
