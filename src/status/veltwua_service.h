// Service definition of the management server's status web service, read by
// soapcpp2 at build time to generate the message classes, their serializers
// and the client proxy. SOAP 1.1, document/literal, three one-way operations.
//
// The generated proxy is named veltwuaPortBindingGeneratedProxy; the worker's
// veltwuaPortBindingProxy (status_proxy.h) derives from it and adds the
// constructor with the HTTP Basic credentials and the acknowledgement reading.

// soapcpp2 input: kept as written.
// clang-format off

//gsoap ns1 service name: veltwuaPortBindingGenerated
//gsoap ns1 service type: veltwuaPort
//gsoap ns1 service port: http://localhost/VeltraneWS/veltwua
//gsoap ns1 service namespace: http://service.veltrane.ws/
//gsoap ns1 schema namespace: http://service.veltrane.ws/
//gsoap ns1 schema form: unqualified
//gsoap ns1 service method-protocol: UpdateDeployJobStatus SOAP
//gsoap ns1 service method-style: UpdateDeployJobStatus document
//gsoap ns1 service method-action: UpdateDeployJobStatus http://service.veltrane.ws/veltwuaPort/UpdateDeployJobStatus
//gsoap ns1 service method-protocol: InsertDeployStatus SOAP
//gsoap ns1 service method-style: InsertDeployStatus document
//gsoap ns1 service method-action: InsertDeployStatus http://service.veltrane.ws/veltwuaPort/InsertDeployStatus
//gsoap ns1 service method-protocol: InsertReboot SOAP
//gsoap ns1 service method-style: InsertReboot document
//gsoap ns1 service method-action: InsertReboot http://service.veltrane.ws/veltwuaPort/InsertReboot

// Declared first so that the three request classes get the type
// identifiers 8, 9 and 10, which the server side's dispatch relies on.
struct SOAP_ENV__Header;
class ns1__UpdateDeployJobStatus;
class ns1__InsertDeployStatus;
class ns1__InsertReboot;

class ns1__UpdateDeployJobStatus
{ public:
    int nSystemID 1;
    int nPatchID 1;
    int nJobID 1;
    int nStatus 1;
    int nRebootRequired 1;
    wchar_t* strErrorDescription 0;
    struct soap* soap;
};

class ns1__InsertDeployStatus
{ public:
    wchar_t* updateid 0;
    wchar_t* errordesc 0;
    int systemid 1;
    struct soap* soap;
};

class ns1__InsertReboot
{ public:
    wchar_t* updateid 0;
    int reboot 1;
    int systemid 1;
    struct soap* soap;
};

//gsoap ns1 service method-documentation: InsertReboot one-way: acknowledged by HTTP 202
int __ns1__InsertReboot(ns1__InsertReboot* ns1__InsertReboot_, void);
//gsoap ns1 service method-documentation: InsertDeployStatus one-way: acknowledged by HTTP 202
int __ns1__InsertDeployStatus(ns1__InsertDeployStatus* ns1__InsertDeployStatus_, void);
//gsoap ns1 service method-documentation: UpdateDeployJobStatus one-way: acknowledged by HTTP 202
int __ns1__UpdateDeployJobStatus(ns1__UpdateDeployJobStatus* ns1__UpdateDeployJobStatus_, void);
